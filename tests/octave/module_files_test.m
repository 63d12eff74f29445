function module_files_test ()
  ## What a user sees of the module files themselves: the help beside each
  ## module, the uartport and fifoport classes and their methods' help from
  ## the same folder, and a clear error when a module's driver library is
  ## missing.
  moddir = fileparts (which ('uartattach'));
  topics = {'uartattach', '[OK, HANDLE, DESC] = uartattach (DESCRIPTION)';
            'fifoattach', '[OK, HANDLE, DESC] = fifoattach (DESCRIPTION)';
            'ftdisim', 'RESULT = ftdisim (DRIVER, COMMAND, ...)';
            'ftdiport_io', 'ftdiport_io (OPERATION, OBJECT, ...)';
            'uartport', 'S = uartport(DESCRIPTION) attaches';
            'uartportlist', 'LIST = uartportlist() returns';
            'fifoport', 'F = fifoport(DESCRIPTION) attaches';
            'fifoportlist', 'LIST = fifoportlist() returns';
            'ftdiport', 'Not made directly: see uartport and fifoport';
            'uartport.readline', 'TEXT = readline(S) waits';
            'uartport.write', 'N = write(OBJ, DATA) writes';   # from the base class
            'fifoport.read', 'DATA = read(OBJ, COUNT) reads';
            'fifoport.getConfiguration', 'CFG = getConfiguration(F) has'};
  for k = 1:rows (topics)
    text = evalc (sprintf ('help %s', topics{k,1}));
    expect (sprintf ('help %s shows the usage', topics{k,1}), ...
            ! isempty (strfind (text, topics{k,2})), true);
  endfor
  for name = {'ftdiport_io', 'uartport', 'uartportlist', 'fifoport', 'fifoportlist'}
    expect ([name{1} ' beside the modules'], fileparts (which (name{1})), moddir);
  endfor
  ## The base class has a folder of its own there, with its MEX methods.
  base = fullfile (moddir, '@ftdiport');
  expect ('ftdiport in its class folder', fileparts (which ('ftdiport')), base);
  for f = {'write.mex', 'read.mex', 'write.m', 'read.m'}
    expect (['@ftdiport/' f{1}], isfile (fullfile (base, f{1})), true);
  endfor

  ## A copy of each module without its driver library beside it.
  lonely = tempname ();
  mkdir (lonely);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false, 'local') || rmdir (lonely, 's'));
  modules = {'uartattach', 'libd2xx_sim.so'; 'fifoattach', 'libd3xx_sim.so'};
  for k = 1:rows (modules)
    copyfile (fullfile (moddir, [modules{k,1} '.mex']), lonely);
  endfor
  addpath (lonely);   # first on the path: these copies are the ones called
  for k = 1:rows (modules)
    [module, library] = modules{k,:};
    try
      [ok, h, d] = feval (module, 'Dev A');
      expect ([module ' without its driver raises'], false, true);
    catch err
      expect ([module ' without its driver: identifier'], err.identifier, [module ':driverUnavailable']);
      expect ([module ' without its driver: names the library'], ...
              ! isempty (strfind (err.message, fullfile (lonely, library))), true);
    end_try_catch
  endfor
  rmpath (lonely);
endfunction
