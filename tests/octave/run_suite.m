function run_suite (suite, moddir, tooldir)
  ## Runs a test suite (or a cell of suites) against the modules in MODDIR
  ## and exits with status 1 when any check failed, else 0.
  global TESTS
  TESTS = struct ('passed', 0, 'failed', 0);
  here = fileparts (mfilename ('fullpath'));
  addpath (moddir, tooldir, fullfile (here, '..', 'harness'));
  warning ('off', 'Octave:shadowed-function');
  addpath (fullfile (here, '..', 'harness', 'prompt'));
  suites = cellstr (suite);   # one suite, or a cell of them run in turn
  for k = 1:numel (suites)
    try
      feval (suites{k});
    catch err
      TESTS.failed += 1;
      fprintf (stderr, "FAIL %s raised: %s\n", suites{k}, err.message);
      for s = 1:numel (err.stack)
        fprintf (stderr, "  at %s line %d\n", err.stack(s).name, err.stack(s).line);
      endfor
    end_try_catch
  endfor
  printf ("%s: %d passed, %d failed\n", strjoin (suites, ', '), TESTS.passed, TESTS.failed);
  exit (min (TESTS.failed, 1));
endfunction
