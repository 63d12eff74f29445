function simulate_devices (how)
  ## Simulated devices for trying the examples without hardware.
  ##   simulate_devices ()         the devices the examples look for
  ##   simulate_devices ('other')  devices with other descriptions: the
  ##                               examples fall back to the prompt
  ##   simulate_devices ('held')   as (), but another program holds the
  ##                               serial bridge the examples look for
  ## Only modules built or installed on the simulated drivers see them
  ## (make demo builds such modules; see also ftdiattach_drivers).
  if (nargin < 1)
    how = 'same';
  endif
  if (exist ('ftdiattach_drivers', 'file'))
    drivers = ftdiattach_drivers ();
    if (! strcmp (drivers.uartattach, 'libd2xx_sim.so') ...
        || ! strcmp (drivers.fifoattach, 'libd3xx_sim.so'))
      warning ('simulate_devices: a module uses a vendor driver and lists real devices only');
    endif
  endif
  uart = {'FT232R USB UART', 'Dual RS232-HS A'};
  fifo = 'FTDI SuperSpeed-FIFO Bridge';
  switch (how)
    case 'same'
    case 'other'
      uart = {'USB <-> Serial', 'Dual RS232-HS A'};
      fifo = 'FT601 Test Board';
    case 'held'
      uart = {struct('Description', uart{1}, 'Held', true), uart{2}};
    otherwise
      error ("simulate_devices: HOW is 'other', 'held' or nothing");
  endswitch
  ftdisim ('d2xx', 'reset');
  for k = 1:numel (uart)
    ftdisim ('d2xx', 'add', uart{k});
  endfor
  ftdisim ('d3xx', 'reset');
  ftdisim ('d3xx', 'add', fifo);
endfunction
