function r = attach_run (module, args, answers, nout)
  ## Calls MODULE (ARGS{:}) asking for NOUT results (3 by default), with the
  ## prompt answered from ANSWERS, and returns what happened: the results or
  ## the error, both output channels in order, the prompts shown, the driver
  ## calls made, and the misuse of closed handles the driver saw.
  global PROMPT
  if (nargin < 3)
    answers = {};
  endif
  if (nargin < 4)
    nout = 3;
  endif
  drv = driver_of (module);
  PROMPT = struct ('answers', {answers}, 'prompts', {{}}, 'pending', []);
  ftdisim (drv, 'clearlog');
  r = struct ('ok', [], 'h', [], 'd', [], 'err', [], 'pending_after', NaN);
  transcript ('start');
  try
    results = cell (1, nout);
    [results{:}] = feval (module, args{:});
    r.pending_after = transcript ('pending');
    if (nout == 3)
      [r.ok, r.h, r.d] = results{:};
    endif
  catch err
    r.err = err;
  end_try_catch
  r.transcript = transcript ('stop');
  r.prompts = PROMPT.prompts;
  r.pending = PROMPT.pending;
  r.answers_left = numel (PROMPT.answers);
  r.log = ftdisim (drv, 'log');
  r.misuse = ftdisim (drv, 'misuse');
endfunction
