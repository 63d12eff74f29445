function uart_then_fifo_test ()
  ## uartattach loaded first, then fifoattach.
  two_drivers_check ('uartattach', 'fifoattach');
endfunction
