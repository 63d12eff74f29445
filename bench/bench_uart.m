function bench_uart(report, values, tty, skipped)
  % Wall-clock figures of uartport on the simulated D2XX driver in loopback,
  % against instrument-control's serialport on the pty `tty`, whose far end
  % echoes what it receives (run.sh sets it up with socat). With `tty` empty
  % the serialport half is skipped, for the reason `skipped`. The figures go
  % to the file `report` (for people) and to `values` (name value lines, for
  % the goal checks), as in bench_time.
  more off;
  out = fopen(report, 'w');
  val = fopen(values, 'w');
  cleanup = onCleanup(@() close_both(out, val));

  sim_devices('d2xx', 1);
  ftdisim('d2xx', 'loopback', 1, true);
  stacks = {uartport('Dev 0001', 'Timeout', 1)};
  names = {'uartport'};
  if ~isempty(tty)
    pkg('load', 'instrument-control');
    stacks{end + 1} = serialport(tty, 'BaudRate', 230400, 'Timeout', 1);
    names{end + 1} = 'serialport';
  end

  ops = {'write1', 'read1', 'available', 'roundtrip'};
  titles = {'write, 1 byte', 'read, 1 byte already there', 'NumBytesAvailable', ...
            'round trip (write 1, read 1)'};
  t = per_call(stacks, ops);
  say(out, 'uartport (simulated D2XX, loopback) and serialport (pty, echo through socat)\n');
  say(out, '  per call: median over %d batches of the mean of %d calls (after %d untimed);\n', ...
      kBatches(), kCalls(), kWarm());
  say(out, '  the stacks and kinds of call take turns, batch by batch\n');
  say(out, '  %-32s %12s %12s %12s\n', '', 'uartport', 'serialport', 'ratio');
  for k = 1:numel(ops)
    put(val, ['time_uartport_' ops{k} '_us'], t(1, k) * 1e6);
    if numel(stacks) > 1
      put(val, ['time_serialport_' ops{k} '_us'], t(2, k) * 1e6);
      say(out, '  %-32s %9.2f us %9.2f us %12.2f\n', titles{k}, t(1, k) * 1e6, ...
          t(2, k) * 1e6, t(1, k) / t(2, k));
    else
      say(out, '  %-32s %9.2f us %12s\n', titles{k}, t(1, k) * 1e6, '-');
    end
  end
  say(out, '  %-32s %9.2f us\n', 'null MEX call', t(1, end) * 1e6);
  put(val, 'time_uart_null_us', t(1, end) * 1e6);
  if numel(stacks) == 1
    say(out, '  serialport skipped: %s\n', skipped);
  end

  % Two of the calls made straight to the gateway, without the classes'
  % methods and property access in between: what those cost. The object's
  % number in the gateway is a protected property, read here through struct.
  state = warning('off', 'all');
  number = struct(stacks{1}).Port;
  warning(state);
  direct = {'gateway_write1', 'gateway_available'};
  td = zeros(kBatches(), numel(direct));
  for b = 1:kBatches()
    for k = 1:numel(direct)
      call_n(direct{k}, number, kWarm());
      t0 = tic;
      call_n(direct{k}, number, kCalls());
      td(b, k) = toc(t0) / kCalls();
      drain(stacks{1});
    end
  end
  td = median(td, 1);
  say(out, '  the gateway called straight, without uartport''s method in between:\n');
  say(out, '  %-32s %9.2f us\n', '  ftdiport_io(''write'', n, 1 byte)', td(1) * 1e6);
  say(out, '  %-32s %9.2f us\n', '  ftdiport_io(''available'', n)', td(2) * 1e6);
  put(val, 'time_gateway_write1_us', td(1) * 1e6);
  put(val, 'time_gateway_available_us', td(2) * 1e6);

  % 1 MiB through the loopback: one write, one read; the same bytes read as
  % doubles; and null_result's arrays of that size, untouched: what Octave
  % spends on taking a result of each class on return.
  mib = 2^20;
  data = uint8(mod(0:mib - 1, 256));
  u = stacks{1};
  tw = zeros(1, kRepeats());
  tr = tw;
  td = tw;
  to = tw;
  tod = tw;
  for r = 0:kRepeats()
    t0 = tic;
    x = null_result(mib, 'uint8'); %#ok<NASGU>
    o = toc(t0);
    t0 = tic;
    x = null_result(mib, 'double'); %#ok<NASGU>
    od = toc(t0);
    clear x;
    t0 = tic;
    write(u, data);
    w = toc(t0);
    t0 = tic;
    back = read(u, mib);
    rd = toc(t0);
    write(u, data);
    t0 = tic;
    as_double = read(u, mib / 8, 'double');
    dd = toc(t0);
    ftdisim('d2xx', 'tx', 1);  % the far end's record of what went out
    if ~isequal(back, data) || numel(as_double) ~= mib / 8
      error('bench:loopback', 'uartport: 1 MiB did not come back whole');
    end
    if r > 0  % the first round sets the buffers up
      tw(r) = w;
      tr(r) = rd;
      td(r) = dd;
      to(r) = o;
      tod(r) = od;
    end
  end
  mbs = @(s) mib / s / 1e6;
  say(out, '\n1 MiB write, then read (median of %d rounds, after one more)\n', kRepeats());
  say(out, '  %-52s %9.1f MB/s\n', 'uartport, loopback: write + read', mbs(median(tw + tr)));
  say(out, '  %-52s %9.1f MB/s  (%.3f ms)\n', '  the write alone', mbs(median(tw)), ...
      median(tw) * 1e3);
  say(out, '  %-52s %9.1f MB/s  (%.3f ms)\n', '  the read alone, as uint8', mbs(median(tr)), ...
      median(tr) * 1e3);
  say(out, '  %-52s %9.1f MB/s  (%.3f ms)\n', '  the read alone, the same bytes as double', ...
      mbs(median(td)), median(td) * 1e3);
  say(out, '  %-52s %13.3f ms\n', '  Octave taking a 1 MiB uint8 result (null_result)', ...
      median(to) * 1e3);
  say(out, '  %-52s %13.3f ms\n', '  Octave taking a 1 MiB double result (null_result)', ...
      median(tod) * 1e3);
  put(val, 'ms_octave_takes_uint8_1mib', median(to) * 1e3);
  put(val, 'ms_octave_takes_double_1mib', median(tod) * 1e3);
  put(val, 'mbps_uartport_1mib', mbs(median(tw + tr)));
  put(val, 'mbps_uartport_write_1mib', mbs(median(tw)));
  put(val, 'mbps_uartport_read_1mib', mbs(median(tr)));
  put(val, 'mbps_uartport_read_double_1mib', mbs(median(td)));

  if numel(stacks) > 1
    % A write larger than socat's relay and the pty hold never ends while
    % nobody reads: 1 MiB goes as round trips of kChunk bytes.
    s = stacks{2};
    chunk = data(1:kChunk());
    ts = zeros(1, kRepeats());
    for r = 0:kRepeats()
      ok = true;
      t0 = tic;
      for c = 1:mib / kChunk()
        write(s, chunk);
        ok = ok && isequal(read(s, kChunk()), chunk);
      end
      e = toc(t0);
      if ~ok, error('bench:echo', 'serialport: the echo did not bring the bytes back'); end
      if r > 0, ts(r) = e; end
    end
    say(out, '  %-52s %9.1f MB/s\n', sprintf('serialport, pty echo: %d x (write, read %d KiB)', ...
        mib / kChunk(), kChunk() / 1024), mbs(median(ts)));
    put(val, 'mbps_serialport_1mib', mbs(median(ts)));
  end
  delete(u);
end

function n = kBatches()
  n = 101;
end

function n = kCalls()
  n = 20;
end

function n = kWarm()
  n = 3;  % untimed calls before each batch: after a pause, caches are cold
end

function n = kRepeats()
  n = 9;
end

function n = kChunk()
  n = 16384;
end

function t = per_call(stacks, ops)
  % The median over batches of the mean time of a call, for every stack
  % and kind of call, and (last column, first row) of a null MEX call.
  % Before each batch, untimed, the bytes a read takes are put there and the
  % call is made a few times; after it, what came back is drained.
  times = zeros(kBatches(), numel(stacks), numel(ops) + 1);
  for b = 1:kBatches()
    for s = 1:numel(stacks)
      obj = stacks{s};
      for k = 1:numel(ops)
        if strcmp(ops{k}, 'read1')
          write(obj, zeros(1, kCalls() + kWarm(), 'uint8'));
          wait_for(obj, kCalls() + kWarm());
        end
        call_n(ops{k}, obj, kWarm());
        t0 = tic;
        call_n(ops{k}, obj, kCalls());
        times(b, s, k) = toc(t0) / kCalls();
        drain(obj);
      end
    end
    call_n('null', 'Dev 0001', kWarm());
    t0 = tic;
    call_n('null', 'Dev 0001', kCalls());
    times(b, 1, end) = toc(t0) / kCalls();
  end
  t = reshape(median(times, 1), numel(stacks), numel(ops) + 1);
end

function wait_for(obj, n)
  % Until n bytes are there to read (the echo takes a moment).
  t0 = tic;
  while obj.NumBytesAvailable < n
    if toc(t0) > 2
      error('bench:echo', '%s: %d bytes did not come back', class(obj), n);
    end
    pause(0.001);
  end
end

function drain(obj)
  % Reads what is there until nothing more has come for 2 ms.
  quiet = 0;
  while quiet < 2
    n = obj.NumBytesAvailable;
    if n > 0
      read(obj, n);
      quiet = 0;
    else
      quiet = quiet + 1;
      pause(0.001);
    end
  end
end

