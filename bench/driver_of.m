function drv = driver_of(mod)
  % The simulated driver behind a benchmarked module ('uart' or 'fifo') or
  % object call of call_n (readn and writen: fifoport's).
  if any(strcmp(mod, {'fifo', 'readn', 'writen'}))
    drv = 'd3xx';
  else
    drv = 'd2xx';
  end
end
