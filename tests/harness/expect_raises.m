function expect_raises (label, fn, id)
  ## Counts a check: FN must raise an error with identifier ID.
  expect ([label ': raises'], raised (fn), id);
endfunction
