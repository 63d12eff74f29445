function v = ifelse (condition, a, b)
  ## A when CONDITION holds, else B: a choice inside an expression.
  if (condition)
    v = a;
  else
    v = b;
  endif
endfunction
