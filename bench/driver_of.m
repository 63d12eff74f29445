function drv = driver_of(mod)
  % The simulated driver behind a benchmarked module ('uart' or 'fifo').
  if strcmp(mod, 'fifo')
    drv = 'd3xx';
  else
    drv = 'd2xx';
  end
end
