function bench_fifo(report, values, baseline)
  % Wall-clock figures of fifoport on the simulated D3XX driver, unpaced:
  % read(f, n) from the counter source and write(f, data) into the counting
  % sink, n from 1 KiB to 16 MiB, against memcpy of the same size measured
  % natively by copy_baseline (its name value lines in the file `baseline`),
  % against an FT601's 400 MB/s, and against what Octave spends taking an
  % n-byte uint8 result on return (null_result). The figures go to `report`
  % and `values`, as in bench_time.
  more off;
  out = fopen(report, 'w');
  val = fopen(values, 'w');
  cleanup = onCleanup(@() close_both(out, val));
  copy = name_values(baseline);

  sim_devices('d3xx', 1);
  ftdisim('d3xx', 'source', 1, 'counter');
  f = fifoport('Dev 0001');
  sizes = 1024 * 4 .^ (0:7);
  data = cell(size(sizes));
  for k = 1:numel(sizes)
    data{k} = read(f, sizes(k));  % what the writes send: the counter's bytes
  end

  % Size by size, as a script streams blocks of one size: what the C
  % library's allocator does with a result's memory depends on the sizes
  % it had before. For each size, its read, write and take (and a null MEX
  % call) take turns, round by round; each a batch of calls moving about
  % kBatchBytes.
  t = zeros(kRounds(), numel(sizes), 3);
  t_null = zeros(kRounds(), numel(sizes));
  for k = 1:numel(sizes)
    n = sizes(k);
    calls = max(kMinCalls(), round(kBatchBytes() / n));
    for r = 1:kRounds()
      t(r, k, 1) = timed('readn', {f, n}, calls);
      t(r, k, 2) = timed('writen', {f, data{k}}, calls);
      t(r, k, 3) = timed('take', n, calls);
      t_null(r, k) = timed('null', 'Dev 0001', 200);
    end
  end
  t = reshape(median(t, 1), numel(sizes), 3);
  t_null = median(t_null(:, 1));  % beside the 1 KiB calls

  mbs = @(n, s) n ./ s / 1e6;
  say(out, 'fifoport (simulated D3XX: counter source, counting sink, unpaced), MB/s per call\n');
  say(out, '  median of %d rounds of a batch of calls moving %d MiB (at least %d calls);\n', ...
      kRounds(), kBatchBytes() / 2^20, kMinCalls());
  say(out, '  memcpy measured natively (copy_baseline), fresh: into a new mmap each call\n');
  say(out, '  %-7s %9s %9s %11s %10s %10s %10s %8s %8s\n', 'bytes', 'read', 'write', ...
      'Octave take', 'take/read', 'memcpy new', 'memcpy old', 'rd/new', 'rd/FT601');
  for k = 1:numel(sizes)
    n = sizes(k);
    fresh = copy.(sprintf('copy_fresh_%d_mbps', n));
    reused = copy.(sprintf('copy_reused_%d_mbps', n));
    rd = mbs(n, t(k, 1));
    say(out, '  %-7s %9.0f %9.0f %11.0f %9.0f%% %10.0f %10.0f %8.2f %8.2f\n', size_name(n), ...
        rd, mbs(n, t(k, 2)), mbs(n, t(k, 3)), 100 * t(k, 3) / t(k, 1), fresh, ...
        reused, rd / fresh, rd / 400);
    put(val, sprintf('fifo_read_%d_mbps', n), rd);
    put(val, sprintf('fifo_write_%d_mbps', n), mbs(n, t(k, 2)));
    put(val, sprintf('fifo_take_%d_mbps', n), mbs(n, t(k, 3)));
    put(val, sprintf('copy_fresh_%d_mbps', n), fresh);
  end
  say(out, '  (Octave take: null_result returning as many bytes as uint8, nothing else;\n');
  say(out, '  take/read: its time as a share of the read''s)\n');
  say(out, '  1 KiB per call: read %.2f us, write %.2f us, null MEX call %.2f us\n', ...
      t(1, 1) * 1e6, t(1, 2) * 1e6, t_null * 1e6);
  say(out, '    = %.2f and %.2f null MEX calls\n', t(1, 1) / t_null, t(1, 2) / t_null);
  put(val, 'fifo_read_1024_null_calls', t(1, 1) / t_null);
  put(val, 'fifo_write_1024_null_calls', t(1, 2) / t_null);

  % The same 1 MiB as doubles: Octave takes a double result for less.
  mib = 2^20;
  td = zeros(kRounds(), 2);
  for r = 1:kRounds()
    td(r, 1) = timed('readn_double', {f, mib / 8}, 4);
    td(r, 2) = timed('take_double', mib, 4);
  end
  td = median(td, 1);
  k = find(sizes == mib);
  say(out, '  1 MiB as uint8: read %.3f ms, of which Octave takes the result %.3f ms\n', ...
      t(k, 1) * 1e3, t(k, 3) * 1e3);
  say(out, '  1 MiB as double: read %.3f ms, of which Octave takes the result %.3f ms\n', ...
      td(1) * 1e3, td(2) * 1e3);
  put(val, 'fifo_read_double_1048576_mbps', mbs(mib, td(1)));
  delete(f);
end

function n = kRounds()
  n = 9;
end

function n = kBatchBytes()
  n = 4 * 2^20;
end

function n = kMinCalls()
  n = 4;
end

function s = timed(what, arg, calls)
  % The mean time of one of `calls` calls, after one untimed. Each result is
  % kept until the next replaces it, as a script streaming blocks into one
  % variable does: freed at once, a large result's memory goes back to the
  % system, and the next call writes into fresh pages.
  switch what
    case 'take'         % Octave taking an n-byte uint8 result
      x = null_result(arg, 'uint8'); %#ok<NASGU>
      t0 = tic;
      for i = 1:calls
        x = null_result(arg, 'uint8'); %#ok<NASGU>
      end
    case 'take_double'
      x = null_result(arg, 'double'); %#ok<NASGU>
      t0 = tic;
      for i = 1:calls
        x = null_result(arg, 'double'); %#ok<NASGU>
      end
    case 'readn_double'
      [obj, n] = arg{:};
      x = read(obj, n, 'double'); %#ok<NASGU>
      t0 = tic;
      for i = 1:calls
        x = read(obj, n, 'double'); %#ok<NASGU>
      end
    otherwise
      x = call_n(what, arg, 1); %#ok<NASGU>
      t0 = tic;
      x = call_n(what, arg, calls); %#ok<NASGU>
  end
  s = toc(t0) / calls;
end

function s = size_name(n)
  if n < 2^20
    s = sprintf('%d KiB', n / 1024);
  else
    s = sprintf('%d MiB', n / 2^20);
  end
end

function v = name_values(file)
  % The name value lines of `file` as a struct.
  v = struct();
  lines = strsplit(strtrim(fileread(file)), "\n");
  for i = 1:numel(lines)
    words = strsplit(strtrim(lines{i}));
    v.(words{1}) = str2double(words{2});
  end
end

