function call_n(mod, desc, calls)
  % Direct calls, each module by its own name, so that every loop costs the
  % interpreter the same.
  switch mod
    case 'empty'   % the measuring marks alone
    case 'null'
      for i = 1:calls
        [ok, h, d] = null_mex(desc); %#ok<ASGLU>
      end
    case 'uart'
      for i = 1:calls
        [ok, h, d] = uartattach(desc); %#ok<ASGLU>
      end
      if ~ok, error('bench:attach', 'uartattach did not attach %s', desc); end
    case 'fifo'
      for i = 1:calls
        [ok, h, d] = fifoattach(desc); %#ok<ASGLU>
      end
      if ~ok, error('bench:attach', 'fifoattach did not attach %s', desc); end
  end
end
