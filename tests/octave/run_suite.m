function run_suite (suite, moddir, tooldir)
  ## Runs one test suite against the modules in MODDIR and exits with the
  ## number of failed checks as the status (0 when all passed).
  global TESTS
  TESTS = struct ('passed', 0, 'failed', 0);
  here = fileparts (mfilename ('fullpath'));
  addpath (moddir, tooldir, fullfile (here, '..', 'harness'));
  warning ('off', 'Octave:shadowed-function');
  addpath (fullfile (here, '..', 'harness', 'prompt'));
  try
    feval (suite);
  catch err
    TESTS.failed += 1;
    fprintf (stderr, "FAIL %s raised: %s\n", suite, err.message);
    for k = 1:numel (err.stack)
      fprintf (stderr, "  at %s line %d\n", err.stack(k).name, err.stack(k).line);
    endfor
  end_try_catch
  printf ("%s: %d passed, %d failed\n", suite, TESTS.passed, TESTS.failed);
  exit (min (TESTS.failed, 1));
endfunction
