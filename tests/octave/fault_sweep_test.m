function fault_sweep_test ()
  ## Every driver function each module calls, failing with each of a set of
  ## statuses, on each path that reaches it: the device found open or not,
  ## chosen by match or at the prompt, opened or failing to open.
  statuses = struct ('d2xx', [1 2 3 4 5 6 7 16 17 18 19 hex2dec('FFFFFFFF')], ...
                     'd3xx', [1 2 3 4 6 17 18 19 24 27 30 32 hex2dec('FFFFFFFF')]);
  modules = {'uartattach', 'fifoattach'};
  for m = 1:numel (modules)
    module = modules{m};
    drv = driver_of (module);
    open_call = ifelse (strcmp (drv, 'd2xx'), 'FT_Open', 'FT_Create');
    functions = ftdisim (drv, 'functions')';
    for fn = functions
      for status = statuses.(drv)
        for found_open = [false true]
          for by_prompt = [false true]
            for open_fails = [false true]
              label = sprintf ('%s: %s=%u, found open %d, prompt %d, open fails %d', ...
                               module, fn{1}, status, found_open, by_prompt, open_fails);
              sim_setup (drv, {'Dev A', 'Dev B'});
              if (found_open)
                attach_run (module, {'Dev B'});
              endif
              if (open_fails)
                ftdisim (drv, 'fail', open_call, 4);
              endif
              ftdisim (drv, 'fail', fn{1}, status);
              arg = ifelse (by_prompt, 'nothing', 'Dev B');
              r = attach_run (module, {arg}, {2});
              list_read = ! any (strncmp (r.log, 'FT_GetDeviceInfoList', 20)) ...
                          || any (strcmp (r.log, 'FT_GetDeviceInfoList(2)=0'));
              check_invariants (label, module, r, ifelse (list_read, 'Dev B', ''));
            endfor
          endfor
        endfor
      endfor
    endfor
  endfor
endfunction
