function sim_setup (drv, devices, varargin)
  ## Resets the simulated driver DRV and scripts it: DEVICES is a cell of
  ## descriptions or device structs (see help ftdisim); options 'fail' (a cell
  ## of {function, status} or {function, status, nth}), 'handles', 'version',
  ## 'listcount', 'scribble', 'config'.
  ftdisim (drv, 'reset');
  for k = 1:numel (devices)
    ftdisim (drv, 'add', devices{k});
  endfor
  for k = 1:2:numel (varargin)
    value = varargin{k+1};
    if (strcmp (varargin{k}, 'fail'))
      for f = 1:numel (value)
        ftdisim (drv, 'fail', value{f}{:});
      endfor
    else
      ftdisim (drv, varargin{k}, value);
    endif
  endfor
endfunction
