function ok = expect (label, actual, expected)
  ## Counts a check: ACTUAL must equal EXPECTED (isequal, classes aside for
  ## numbers).  On a mismatch prints both, with control characters escaped.
  global TESTS
  ok = isequal (actual, expected);
  if (ok)
    TESTS.passed += 1;
  else
    TESTS.failed += 1;
    fprintf (stderr, "FAIL %s\n  expected: %s\n  actual:   %s\n", label,
             shown (expected), shown (actual));
  endif
endfunction

function s = shown (v)
  if (ischar (v))
    s = ['"' undo_string_escapes(v) '"'];
  elseif (iscell (v))
    parts = cellfun (@shown, v(:)', 'UniformOutput', false);
    s = ['{' strjoin(parts, ', ') '}'];
  elseif (isnumeric (v) || islogical (v))
    s = mat2str (double (v), 17);
    if (isa (v, 'uint64'))
      s = sprintf ('uint64(%s)', num2str (v(:)'));
    endif
  else
    s = disp (v);
  endif
endfunction
