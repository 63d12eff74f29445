function last = call_n(mod, desc, calls)
  % Direct calls, each module by its own name, so that every loop costs the
  % interpreter the same. For the object calls (write1, read1, available,
  % roundtrip) `desc` is the object, a uartport or a serialport: both take
  % the same calls, so one loop serves both; for readn and writen it is
  % {object, count} and {object, data}; for the gateway_ calls the number
  % the gateway knows a uartport by. `last` is readn's last result (else
  % empty): a caller that keeps it while the next loop runs streams into one
  % variable, as a script does, and the loop's first read is like the others.
  last = [];
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
    case 'write1'
      one = uint8(1);
      for i = 1:calls
        write(desc, one);
      end
    case 'read1'   % the bytes are there already
      x = 0;
      for i = 1:calls
        x = read(desc, 1);
      end
      if numel(x) ~= 1, error('bench:read', '%s: read gave no byte', class(desc)); end
    case 'available'
      for i = 1:calls
        n = desc.NumBytesAvailable; %#ok<NASGU>
      end
    case 'roundtrip'
      one = uint8(1);
      x = 0;
      for i = 1:calls
        write(desc, one);
        x = read(desc, 1);
      end
      if numel(x) ~= 1, error('bench:read', '%s: no byte came back', class(desc)); end
    case 'gateway_available'   % `desc` is the object's number in the gateway
      for i = 1:calls
        n = ftdiport_io('available', desc); %#ok<NASGU>
      end
    case 'gateway_write1'
      one = uint8(1);
      for i = 1:calls
        ftdiport_io('write', desc, one);
      end
    case 'readn'
      [obj, n] = desc{:};
      x = [];
      for i = 1:calls
        x = read(obj, n);
      end
      if calls > 0 && numel(x) ~= n
        error('bench:read', '%s: a read came back short', class(obj));
      end
      last = x;
    case 'writen'
      [obj, data] = desc{:};
      n = numel(data);
      for i = 1:calls
        n = write(obj, data);
      end
      if n ~= numel(data), error('bench:write', '%s: a write ended short', class(obj)); end
  end
end
