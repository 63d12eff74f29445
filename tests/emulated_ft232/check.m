## check (cond, what): prints "ok - WHAT" or "not ok - WHAT" and counts the
## failures in the global `failures`, which the guest scripts exit with.
function check (cond, what)
  global failures
  if (cond)
    printf ("ok - %s\n", what);
  else
    printf ("not ok - %s\n", what);
    failures += 1;
  endif
  fflush (stdout);
endfunction
