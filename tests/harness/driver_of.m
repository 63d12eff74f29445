function drv = driver_of (module)
  ## The simulated driver a module is bound to.
  if (strcmp (module, 'fifoattach'))
    drv = 'd3xx';
  else
    drv = 'd2xx';
  endif
endfunction
