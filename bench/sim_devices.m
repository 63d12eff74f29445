function sim_devices(drv, n)
  % A fresh simulated driver listing devices 'Dev 0001' .. 'Dev n'.
  ftdisim(drv, 'reset');
  for i = 1:n
    ftdisim(drv, 'add', sprintf('Dev %04d', i));
  end
end
