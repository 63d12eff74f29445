function bench_callgrind(plan)
  % The calls of bench_time and bench_uart, counted in instructions: run under
  % valgrind --tool=callgrind --instr-atstart=no. Each measured window lies
  % between cgmark('dump', 'setup') and cgmark('dump', label), the label being
  % "what/entries/calls" ("entries" is the bytes a call moves for the object
  % calls); set-up and warm-up calls fall into the "setup" dumps.
  % The window "empty/0/0" holds only the two marks, to be subtracted.
  % `plan` names the file that receives the labels measured, one per line.
  more off;
  if ~cgmark('running')
    error('bench:callgrind', 'bench_callgrind runs under valgrind --tool=callgrind');
  end
  cgmark('start');
  labels = {};

  sim_devices('d2xx', 1);
  sim_devices('d3xx', 1);
  call_n('null', 'Dev 0001', 20);
  call_n('uart', 'Dev 0001', 20);
  call_n('fifo', 'Dev 0001', 20);

  labels{end + 1} = window('empty', 'Dev 0001', 0, 0);
  labels{end + 1} = window('null', 'Dev 0001', 1, 200);
  labels{end + 1} = window('uart', 'Dev 0001', 1, 100);
  labels{end + 1} = window('fifo', 'Dev 0001', 1, 100);
  for n = [16 127 1000]
    calls = max(3, round(640 / n));
    for m = {'uart', 'fifo'}
      sim_devices(driver_of(m{1}), n);
      call_n(m{1}, sprintf('Dev %04d', n), 2);
      labels{end + 1} = window(m{1}, sprintf('Dev %04d', n), n, calls); %#ok<AGROW>
    end
  end

  % uartport on the simulated line in loopback: each kind of call of
  % bench_uart, then 1 MiB written and read.
  sim_devices('d2xx', 1);
  ftdisim('d2xx', 'loopback', 1, true);
  u = uartport('Dev 0001', 'Timeout', 1);
  for op = {'write1', 'read1', 'available', 'roundtrip'}
    if strcmp(op{1}, 'read1')
      write(u, zeros(1, 220, 'uint8'));
    end
    call_n(op{1}, u, 20);
    labels{end + 1} = window(op{1}, u, 1, 200); %#ok<AGROW>
    flush(u);
  end
  mib = 2^20;
  data = uint8(mod(0:mib - 1, 256));
  write(u, data);
  read(u, mib);
  labels{end + 1} = marked('write_mib', mib, 2, @() write(u, data));
  write(u, data);
  labels{end + 1} = marked('read_mib', mib, 2, @() read(u, mib));
  write(u, data);
  write(u, data);
  write(u, data);
  labels{end + 1} = marked('read_mib_double', mib, 2, @() read(u, mib / 8, 'double'));
  labels{end + 1} = marked('take_mib', mib, 2, @() null_result(mib, 'uint8'));
  labels{end + 1} = marked('take_mib_double', mib, 2, @() null_result(mib, 'double'));
  delete(u);

  % fifoport on the simulated pipes: reads from the counter source and
  % writes into the counting sink, 1 KiB, 1 MiB and 16 MiB a call.
  sim_devices('d3xx', 1);
  ftdisim('d3xx', 'source', 1, 'counter');
  f = fifoport('Dev 0001');
  for n = 2 .^ [10 20 24]
    calls = max(1, min(200, round(2^21 / n)));
    data = read(f, n);
    call_n('readn', {f, n}, 2);
    call_n('writen', {f, data}, 2);
    labels{end + 1} = window('readn', {f, n}, n, calls); %#ok<AGROW>
    labels{end + 1} = window('writen', {f, data}, n, calls); %#ok<AGROW>
  end
  delete(f);

  f = fopen(plan, 'w');
  fprintf(f, '%s\n', labels{:});
  fclose(f);
end

function label = window(mod, desc, entries, calls)
  % For the object calls (call_n), `desc` is the object (and what it takes).
  if ~strcmp(mod, 'empty') && ~strcmp(mod, 'null')
    ftdisim(driver_of(mod), 'clearlog');
  end
  label = sprintf('%s/%d/%d', mod, entries, calls);
  cgmark('dump', 'setup');
  call_n(mod, desc, calls);
  cgmark('dump', label);
end


function label = marked(what, bytes, calls, fn)
  % A window of `calls` calls of fn, each moving `bytes` bytes, after one
  % call outside it (the first call of a MEX file loads it).
  fn();
  ftdisim('d2xx', 'clearlog');
  label = sprintf('%s/%d/%d', what, bytes, calls);
  cgmark('dump', 'setup');
  for i = 1:calls
    fn();
  end
  cgmark('dump', label);
end
