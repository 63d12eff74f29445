function two_drivers_check (first, second)
  ## Both modules in one session, FIRST loaded before SECOND (each suite runs
  ## in a fresh octave-cli): each must reach only its own driver library,
  ## though both export the same names.
  modules = {first, second};
  sim_setup ('d2xx', {'Serial A'});
  sim_setup ('d3xx', {'FIFO A'});
  descriptions = struct ('uartattach', 'Serial A', 'fifoattach', 'FIFO A');
  for round = 1:2   # the second round finds each device open
    for k = 1:2
      m = modules{k};
      other = other_driver (m);
      ftdisim (other, 'clearlog');
      r = attach_run (m, {descriptions.(m)});
      expect (sprintf ('%s round %d: results', m, round), {r.ok, r.d}, {1, descriptions.(m)});
      expect (sprintf ('%s round %d: its own driver listed the devices', m, round), ...
              r.log(1:2), {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'});
      expect (sprintf ('%s round %d: the other driver saw nothing', m, round), ...
              ftdisim (other, 'log'), cell (0, 1));
    endfor
  endfor

  ## A failed open: the recovery each module makes (its own CloseDevice
  ## among it) reaches its own driver too.
  open_call = struct ('uartattach', 'FT_Open', 'fifoattach', 'FT_Create');
  for k = 1:2
    m = modules{k};
    other = other_driver (m);
    sim_setup (driver_of (m), {descriptions.(m)}, 'fail', {{open_call.(m), 4}});
    ftdisim (other, 'clearlog');
    r = attach_run (m, {descriptions.(m)});
    expect (sprintf ('%s open fails: results', m), {r.ok, r.h, r.d}, {0, 0, '<none>'});
    expect (sprintf ('%s open fails: its own driver closed the null handle', m), ...
            any (strcmp (r.log, 'FT_Close(0x0)=1')), true);
    expect (sprintf ('%s open fails: the other driver saw nothing', m), ...
            ftdisim (other, 'log'), cell (0, 1));
  endfor
endfunction

function drv = other_driver (module)
  if (strcmp (module, 'uartattach'))
    drv = 'd3xx';
  else
    drv = 'd2xx';
  endif
endfunction
