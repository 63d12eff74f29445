function fifo_then_uart_test ()
  ## fifoattach loaded first, then uartattach.
  two_drivers_check ('fifoattach', 'uartattach');
endfunction
