## -*- texinfo -*-
## @deftypefn  {} {} ftdiattach_selftest ()
## @deftypefnx {} {@var{ok} =} ftdiattach_selftest ()
## Check this installation of the ftdiattach package: the module files, the
## @code{uartport} and @code{fifoport} classes, their help texts and the
## simulated drivers in one folder, argument checking, and, with every module
## that this installation built on a simulated driver (see
## @code{ftdiattach_drivers}), attaching simulated devices again and again,
## a @code{uartport} round trip on a simulated line wired back to itself and
## a @code{fifoport} read of a simulated counter stream.
##
## The attach checks print what the modules print, and reset the simulated
## drivers' devices and logs.  Returns true when every check passed; without
## an output, raises an error when one failed.
##
## For a process exit status (e.g. in CI):
## @example
## octave-cli --eval "pkg load ftdiattach; exit (! ftdiattach_selftest ())"
## @end example
## @seealso{ftdiattach_drivers, ftdisim, uartattach, fifoattach, uartport, fifoport}
## @end deftypefn
function ok = ftdiattach_selftest ()
  ## test's report lists skipped checks with their code; shown only when a
  ## check failed, it stays readable in the common case.
  report = [tempname() '.log'];
  cleanup = onCleanup (@() unlink (report));
  [npass, ntests, nxfail, nbug, nskip, nrtskip] = test ('ftdiattach_selftest', 'quiet', report);
  passed = npass + nxfail + nbug == ntests && ntests > 0;
  if (! passed)
    printf ('%s', fileread (report));
  endif
  printf ('ftdiattach_selftest: %d of %d checks passed', npass, ntests);
  if (nskip + nrtskip > 0)
    printf (', %d skipped (a module on a vendor driver)', nskip + nrtskip);
  endif
  printf ('\n');
  if (nargout > 0)
    ok = passed;
  elseif (! passed)
    error ('ftdiattach_selftest: a check failed (see above)');
  endif
endfunction

%!test
%! ## Octave shows a help text only from beside its module, and the modules
%! ## load the simulated drivers from their own folder.
%! assert (exist ('uartattach'), 3);
%! moddir = fileparts (which ('uartattach'));
%! ## The classes call their gateway ftdiport_io.
%! files = {'uartattach.mex', 'fifoattach.mex', 'ftdiport_io.mex', 'ftdisim.mex', ...
%!          'uartattach.m', 'fifoattach.m', 'ftdiport_io.m', 'ftdisim.m', ...
%!          '@ftdiport/ftdiport.m', '@ftdiport/write.mex', '@ftdiport/read.mex', 'uartport.m', 'uartportlist.m', 'fifoport.m', 'fifoportlist.m', ...
%!          'libftdi_hub.so', 'libd2xx_sim.so', 'libd3xx_sim.so', 'ftdiattach_drivers.m'};
%! missing = files(! cellfun (@(f) isfile (fullfile (moddir, f)), files));
%! assert (missing, cell (1, 0));

%!test
%! topics = {'uartattach', '[OK, HANDLE, DESC] = uartattach (DESCRIPTION)';
%!           'fifoattach', '[OK, HANDLE, DESC] = fifoattach (DESCRIPTION)';
%!           'ftdisim',    'RESULT = ftdisim (DRIVER, COMMAND, ...)';
%!           'ftdiattach_drivers', 'DRIVERS = ftdiattach_drivers ()';
%!           'ftdiport_io', 'ftdiport_io (OPERATION, OBJECT, ...)';
%!           'ftdiport',     'FTDIPORT  What uartport and fifoport objects have in common.';
%!           'uartport',     'S = uartport(DESCRIPTION) attaches the bridge';
%!           'uartportlist', 'LIST = uartportlist() returns one struct per listed entry';
%!           'fifoport',     'F = fifoport(DESCRIPTION) attaches the bridge';
%!           'fifoportlist', 'LIST = fifoportlist() returns one struct per listed entry';
%!           'uartport.readline', 'TEXT = readline(S) waits up to the Timeout';
%!           'fifoport.getConfiguration', 'CFG = getConfiguration(F) has every field'};
%! for k = 1:rows (topics)
%!   text = evalc (sprintf ('help %s', topics{k,1}));
%!   assert (! isempty (strfind (text, topics{k,2})), true, topics{k,1});
%! endfor

%!test
%! ## A vendor driver is an absolute path; a simulated one a file name.
%! drivers = ftdiattach_drivers ();
%! choices = {drivers.uartattach, 'libd2xx_sim.so';
%!            drivers.fifoattach, 'libd3xx_sim.so'};
%! for k = 1:rows (choices)
%!   assert (strcmp (choices{k,1}, choices{k,2}) || choices{k,1}(1) == '/', ...
%!           true, choices{k,1});
%! endfor

%!test
%! ## Wrong calls are refused before any driver is touched.
%! cases = {{},             3, 'MATLAB:yprime:invalidNumInputs';
%!          {'a', 'b'},     3, 'MATLAB:yprime:invalidNumInputs';
%!          {'a'},          1, 'MATLAB:yprime:maxlhs';
%!          {1},            3, 'MATLAB:revord:inputNotString';
%!          {['ab'; 'cd']}, 3, 'MATLAB:revord:inputNotVector'};
%! for module = {'uartattach', 'fifoattach'}
%!   for k = 1:rows (cases)
%!     [args, nout, id] = cases{k,:};
%!     results = cell (1, nout);
%!     try
%!       [results{:}] = feval (module{1}, args{:});
%!       error ('%s case %d: no error', module{1}, k);
%!     catch err
%!       assert (err.identifier, id, sprintf ('%s case %d', module{1}, k));
%!     end_try_catch
%!   endfor
%! endfor

%!testif ; strcmp (ftdiattach_drivers ().uartattach, 'libd2xx_sim.so')
%! ## By description (the last of equal ones), the line set up; attached
%! ## again, the first handle is closed before the device is reopened.
%! ftdisim ('d2xx', 'reset');
%! ftdisim ('d2xx', 'add', 'Selftest UART');
%! ftdisim ('d2xx', 'add', 'Selftest UART B');
%! ftdisim ('d2xx', 'add', 'Selftest UART');
%! [ok, h, desc] = uartattach ('Selftest UART');
%! assert ({ok, h, desc}, {1, 4096, 'Selftest UART'});
%! setup = @(h) {sprintf('FT_Open(2)=0'), sprintf('FT_GetDriverVersion(0x%x)=0', h), ...
%!   sprintf('FT_SetLatencyTimer(0x%x,2)=0', h), sprintf('FT_GetLatencyTimer(0x%x)=0', h), ...
%!   sprintf('FT_ResetDevice(0x%x)=0', h), sprintf('FT_SetBaudRate(0x%x,230400)=0', h), ...
%!   sprintf('FT_SetDataCharacteristics(0x%x,8,0,0)=0', h)};
%! listing = {'FT_CreateDeviceInfoList()=0', 'FT_GetDeviceInfoList(3)=0'};
%! assert (ftdisim ('d2xx', 'log'), [listing, setup(4096)]');
%! ftdisim ('d2xx', 'clearlog');
%! [ok, h, desc] = uartattach ('Selftest UART');
%! assert ({ok, h, desc}, {1, 4097, 'Selftest UART'});
%! assert (ftdisim ('d2xx', 'log'), [listing, {'FT_Close(0x1000)=0'}, setup(4097)]');
%! assert (ftdisim ('d2xx', 'open'), uint64 (4097));
%! assert (ftdisim ('d2xx', 'misuse'), cell (0, 1));

%!testif ; strcmp (ftdiattach_drivers ().uartattach, 'libd2xx_sim.so')
%! ## A device another process holds is listed blocked and not matched.
%! ftdisim ('d2xx', 'reset');
%! ftdisim ('d2xx', 'add', struct ('Description', 'Selftest UART', 'Held', true));
%! ftdisim ('d2xx', 'add', 'Selftest UART');
%! [ok, h, desc] = uartattach ('Selftest UART');
%! assert ({ok, h, desc}, {1, 4096, 'Selftest UART'});
%! assert (ftdisim ('d2xx', 'log')(3), {'FT_Open(1)=0'});

%!testif ; strcmp (ftdiattach_drivers ().fifoattach, 'libd3xx_sim.so')
%! ftdisim ('d3xx', 'reset');
%! ftdisim ('d3xx', 'add', 'Selftest FIFO');
%! [ok, h, desc] = fifoattach ('Selftest FIFO');
%! assert ({ok, h, desc}, {1, 4096, 'Selftest FIFO'});
%! listing = {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'};
%! assert (ftdisim ('d3xx', 'log'), [listing; {'FT_Create(0x0,0x10)=0'; 'FT_GetDriverVersion(0x1000)=0'}]);
%! ftdisim ('d3xx', 'clearlog');
%! [ok, h, desc] = fifoattach ('Selftest FIFO');
%! assert ({ok, h, desc}, {1, 4097, 'Selftest FIFO'});
%! assert (ftdisim ('d3xx', 'log'), [listing; {'FT_Close(0x1000)=0'; 'FT_Create(0x0,0x10)=0'; 'FT_GetDriverVersion(0x1001)=0'}]);
%! assert (ftdisim ('d3xx', 'open'), uint64 (4097));
%! assert (ftdisim ('d3xx', 'misuse'), cell (0, 1));

%!testif ; strcmp (ftdiattach_drivers ().uartattach, 'libd2xx_sim.so')
%! ## A line wired back to itself: what goes out comes back, as lines and as
%! ## values; a read the far end does not fill ends at the Timeout.
%! ftdisim ('d2xx', 'reset');
%! n = ftdisim ('d2xx', 'add', 'Selftest UART');
%! ftdisim ('d2xx', 'loopback', n, true);
%! s = uartport ('Selftest UART', 115200, 'Timeout', 2);
%! writeline (s, 'ping');
%! assert (readline (s), 'ping');
%! assert (write (s, uint16 ([1 515 65535]), 'uint16'), 6);
%! assert (read (s, 3, 'uint16'), uint16 ([1 515 65535]));
%! assert (ftdisim ('d2xx', 'tx', n), [uint8("ping\n"), uint8([1 0 3 2 255 255])]);
%! line = ftdisim ('d2xx', 'line', n);
%! assert ([line.BaudRate, line.DataBits, line.StopBits, line.Parity], [115200 8 1 0]);
%! ftdisim ('d2xx', 'loopback', n, false);
%! ftdisim ('d2xx', 'rx', n, uint8 ([7 8]));
%! s.Timeout = 0.2;
%! state = warning ('on', 'uartport:timeout');
%! lastwarn ('', '');
%! evalc ('data = read (s, 4);');   # the warning's text stays out of the report
%! warning (state);
%! [~, id] = lastwarn ();
%! assert ({data, id}, {uint8([7 8]), 'uartport:timeout'});
%! delete (s);
%! assert (s.IsOpen, false);
%! assert (ftdisim ('d2xx', 'open'), zeros (0, 1, 'uint64'));
%! assert (ftdisim ('d2xx', 'misuse'), cell (0, 1));

%!testif ; strcmp (ftdiattach_drivers ().fifoattach, 'libd3xx_sim.so')
%! ## The IN pipe sends a 32-bit little-endian counter: a block read as words
%! ## is the counter, the next read goes on where it ended; what is written
%! ## reaches the OUT pipe.
%! ftdisim ('d3xx', 'reset');
%! n = ftdisim ('d3xx', 'add', 'Selftest FIFO');
%! ftdisim ('d3xx', 'source', n, 'counter');
%! f = fifoport ('Selftest FIFO', 'Timeout', 2);
%! assert (read (f, 2^18, 'uint32'), uint32 (0:2^18-1));
%! assert (read (f, 8), uint8 ([0 0 4 0 1 0 4 0]));
%! block = uint8 (mod (0:4095, 251));
%! assert (write (f, block), 4096);
%! sink = ftdisim ('d3xx', 'sink', n);
%! assert ({sink.Count, sink.Last}, {4096, block});
%! assert ({f.NumBytesRead, f.NumBytesWritten}, {2^20 + 8, 4096});
%! delete (f);
%! assert (ftdisim ('d3xx', 'open'), zeros (0, 1, 'uint64'));
%! assert (ftdisim ('d3xx', 'misuse'), cell (0, 1));
