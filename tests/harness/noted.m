function m = noted (m, what)
  ## Keeps WHAT as the latest of the last eight calls of a stream test.
  m.history{end + 1} = what;
  if (numel (m.history) > 8)
    m.history(1) = [];
  endif
endfunction
