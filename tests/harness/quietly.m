function out = quietly (fn)
  ## FN's result, with what it printed on either channel kept out of the
  ## test's output (uartattach and fifoattach print their listing).
  transcript ('start');
  unwind_protect
    out = fn ();
  unwind_protect_cleanup
    transcript ('stop');
  end_unwind_protect
endfunction
