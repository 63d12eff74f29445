function bench_time(report, values)
  % Wall-clock figures of uartattach and fifoattach on the simulated drivers:
  % the median time of a call next to a null MEX call, the time per listed
  % entry for lists of 1 to 1,000 devices, and resident memory over 100,000
  % calls. The modules print to standard output, which the caller sends to
  % /dev/null; the figures go to the file `report` (for people) and to
  % `values` (name value lines, for the goal checks).
  more off;
  out = fopen(report, 'w');
  val = fopen(values, 'w');
  cleanup = onCleanup(@() close_both(out, val));

  say(out, 'Wall clock (median of %d batches; each batch times a run of calls)\n', ...
      kBatches());

  % One device of one: every call finds it open, closes it and opens it again.
  t = median_times(job('null', 1, 1000), job('uart', 1, 500), job('fifo', 1, 500));
  t_null = t(1);
  t_uart = t(2);
  t_fifo = t(3);
  say(out, '  %-34s %9.2f us\n', 'null MEX call', t_null * 1e6);
  say(out, '  %-34s %9.2f us  = %5.2f null calls\n', ...
      'uartattach, one device of one', t_uart * 1e6, t_uart / t_null);
  say(out, '  %-34s %9.2f us  = %5.2f null calls\n', ...
      'fifoattach, one device of one', t_fifo * 1e6, t_fifo / t_null);
  put(val, 'time_null_us', t_null * 1e6);
  put(val, 'time_uart_us', t_uart * 1e6);
  put(val, 'time_fifo_us', t_fifo * 1e6);

  % Lists of N entries, the wanted device last.
  sizes = [1 16 127 1000];
  say(out, '\nTime per listed entry (match on the last entry)\n');
  say(out, '  %-12s %8s %12s %14s\n', 'module', 'entries', 'per call', 'per entry');
  mods = {'uart', 'fifo'};
  jobs = {};
  for m = mods
    for n = sizes
      jobs{end + 1} = job(m{1}, n, max(20, round(4000 / n))); %#ok<AGROW>
    end
  end
  t = median_times(jobs{:});
  for mi = 1:numel(mods)
    mod = mods{mi};
    per_entry = zeros(size(sizes));
    for k = 1:numel(sizes)
      n = sizes(k);
      per_entry(k) = t((mi - 1) * numel(sizes) + k) / n;
      tk = per_entry(k) * n;
      say(out, '  %-12s %8d %9.2f us %11.3f us\n', [mod 'attach'], n, ...
          tk * 1e6, per_entry(k) * 1e6);
      put(val, sprintf('entry_%s_%d_us', mod, n), per_entry(k) * 1e6);
    end
    r = per_entry(sizes == 1000) / per_entry(sizes == 16);
    say(out, '  %-12s per entry at 1,000 / per entry at 16 = %.3f\n', ...
        [mod 'attach'], r);
    put(val, sprintf('entry_ratio_%s', mod), r);
  end

  % Resident memory. The simulated driver keeps a text line per driver call
  % and every handle it ever closed, so without resets its own state grows
  % with the number of calls; the runs below reset it every 1,000 calls (and
  % one run without resets shows how much the driver alone keeps).
  total = 100000;
  block = 1000;
  say(out, '\nResident memory (VmRSS) over %d calls, simulated driver reset every %d calls\n', ...
      total, block);
  say(out, '  %-34s %10s %10s %10s %12s\n', '', 'before', 'after', 'growth', 'per call');
  % The null run comes first and last: Octave's own memory settles over its
  % first hundred thousand or so calls, whatever module they call.
  runs = {'null', 'uart', 'fifo', 'null'};
  for k = 1:numel(runs)
    mod = runs{k};
    [before, after] = rss_run(mod, total, block);
    name = name_of(mod);
    if k == numel(runs)
      name = [name ', again'];
      mod = 'null_again';
    end
    say(out, '  %-34s %7d kB %7d kB %7d kB %9.2f B\n', name, before, ...
        after, after - before, (after - before) * 1024 / total);
    put(val, sprintf('rss_%s_before_kb', mod), before);
    put(val, sprintf('rss_%s_after_kb', mod), after);
  end
  [before, after, lines] = rss_run('uart', total, total);
  say(out, '  %-34s %7d kB %7d kB %7d kB %9.2f B\n', ...
      'uartattach, driver never reset', before, after, after - before, ...
      (after - before) * 1024 / total);
  say(out, '  (the simulated driver then holds %d log lines and %d closed handles)\n', ...
      lines, total);
  put(val, 'rss_uart_noreset_growth_kb', after - before);
end

function n = kBatches()
  n = 21;
end

function j = job(mod, entries, calls)
  j = struct('mod', mod, 'entries', entries, 'calls', calls);
end

function t = median_times(varargin)
  % The median over batches of the mean time of a call, for each job (module,
  % entries listed, calls per batch). The jobs take turns, batch by batch, so
  % that a busy spell of the machine hits them all alike. Before each batch,
  % untimed, the simulated driver is set up afresh with the job's entries and
  % the module called twice.
  jobs = varargin;
  times = zeros(kBatches(), numel(jobs));
  for b = 1:kBatches()
    for k = 1:numel(jobs)
      j = jobs{k};
      desc = sprintf('Dev %04d', j.entries);
      if ~strcmp(j.mod, 'null')
        sim_devices(driver_of(j.mod), j.entries);
      end
      call_n(j.mod, desc, 2);
      t0 = tic;
      call_n(j.mod, desc, j.calls);
      times(b, k) = toc(t0) / j.calls;
    end
  end
  t = median(times, 1);
end

function [before, after, lines] = rss_run(mod, total, block)
  drv = driver_of(mod);
  % Warm-up: the same loop over a tenth of the calls, so that what the
  % interpreter and the allocator set up once is in place before the count.
  calls_in_blocks(mod, drv, total / 10, block);
  sim_devices(drv, 1);
  before = vmrss_kb();
  calls_in_blocks(mod, drv, total, block);
  after = vmrss_kb();
  lines = numel(ftdisim(drv, 'log'));
  sim_devices(drv, 1);
end

function s = name_of(mod)
  if strcmp(mod, 'null')
    s = 'null MEX call';
  else
    s = [mod 'attach, one device of one'];
  end
end

function kb = vmrss_kb()
  status = fileread('/proc/self/status');
  tok = regexp(status, 'VmRSS:\s*(\d+)\s*kB', 'tokens', 'once');
  kb = str2double(tok{1});
end

function calls_in_blocks(mod, drv, total, block)
  % `total` calls attaching the single device of a fresh simulated driver,
  % which is reset before every further block of `block` calls.
  for done = 0:block:total - block
    if done > 0 && ~strcmp(mod, 'null')
      sim_devices(drv, 1);
    end
    call_n(mod, 'Dev 0001', block);
  end
end
