function expect_results (label, r, ok, h, d)
  ## The call ended without an error, with the results {OK, H, D}, and the
  ## driver saw no closed handle again.
  expect ([label ': error'], r.err, []);
  expect ([label ': results'], {r.ok, r.h, r.d}, {ok, h, d});
  expect ([label ': closed handle reused'], r.misuse, cell (0, 1));
endfunction
