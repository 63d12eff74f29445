function c = out (text)
  ## A piece of an expected transcript printed on standard output.
  c = {'out', text};
endfunction
