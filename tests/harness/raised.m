function [id, msg] = raised (fn)
  ## Calls FN and returns the identifier and message of the error it raised
  ## ('' and '' when it raised none).
  id = '';
  msg = '';
  try
    fn ();
  catch err
    id = err.identifier;
    msg = err.message;
  end_try_catch
endfunction
