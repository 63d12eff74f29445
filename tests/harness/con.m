function c = con (text)
  ## A piece of an expected transcript printed on the interpreter's console.
  c = {'con', text};
endfunction
