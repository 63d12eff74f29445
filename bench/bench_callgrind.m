function bench_callgrind(plan)
  % The calls of bench_time, counted in instructions: run under
  % valgrind --tool=callgrind --instr-atstart=no. Each measured window lies
  % between cgmark('dump', 'setup') and cgmark('dump', label), the label being
  % "what/entries/calls"; set-up and warm-up calls fall into the "setup" dumps.
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

  f = fopen(plan, 'w');
  fprintf(f, '%s\n', labels{:});
  fclose(f);
end

function label = window(mod, desc, entries, calls)
  if ~strcmp(mod, 'empty') && ~strcmp(mod, 'null')
    ftdisim(driver_of(mod), 'clearlog');
  end
  label = sprintf('%s/%d/%d', mod, entries, calls);
  cgmark('dump', 'setup');
  call_n(mod, desc, calls);
  cgmark('dump', label);
end

