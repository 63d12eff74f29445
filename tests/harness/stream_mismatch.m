function stream_mismatch (label, history, actual, expected)
  ## Fails a stream test's check: LABEL, both values in brief, the calls up to
  ## it (HISTORY), and where the two first differ.
  expect (label, shown_briefly (actual), shown_briefly (expected));
  fprintf (stderr, "  the calls up to it:\n");
  fprintf (stderr, "    %s\n", history{:});
  if ((isnumeric (actual) || ischar (actual)) && (isnumeric (expected) || ischar (expected)))
    a = double (actual(:)');
    e = double (expected(:)');
    n = min (numel (a), numel (e));
    first = find (a(1:n) != e(1:n), 1);
    if (isempty (first))
      first = n + 1;
    endif
    fprintf (stderr, "  %d values against %d expected, the first difference at %d\n", numel (a), numel (e), first);
  endif
endfunction

function v = shown_briefly (v)
  if (numel (v) > 16)
    v = sprintf ('%s of %s, starting %s', class (v), mat2str (size (v)), mat2str (double (v(1:16))));
  endif
endfunction
