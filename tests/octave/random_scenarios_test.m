function random_scenarios_test ()
  ## Seeded random scenarios: device lists with duplicates, blocked entries,
  ## descriptions that fill their field, entries open here or held
  ## elsewhere; random driver failures and prompt answers.  Each call is
  ## checked against the invariants and the listing it must print.
  ## SCENARIOS (default 2000 per module) and SCENARIO_SEED choose the runs;
  ## a failure prints the line that replays it.
  count = env_number ('SCENARIOS', 2000);
  base = env_number ('SCENARIO_SEED', 20261211);
  modules = strsplit (env_text ('SCENARIO_MODULES', 'uartattach fifoattach'));
  for m = 1:numel (modules)
    for seed = base:base + count - 1
      s = make_scenario (modules{m}, seed);
      if (! run_scenario (s))
        fprintf (stderr, "  replay: SCENARIO_MODULES=%s SCENARIO_SEED=%d SCENARIOS=1\n", s.module, seed);
        fprintf (stderr, "  scenario: %s\n", disp_text (s));
      endif
    endfor
  endfor
endfunction

function s = make_scenario (module, seed)
  rand ('twister', seed);
  s.module = module;
  s.seed = seed;
  drv = driver_of (module);
  width = ifelse (strcmp (drv, 'd2xx'), 64, 32);
  full = char ('A' + mod (seed + (0:width-1), 26));
  pool = {'Dev A', 'Dev B', 'dev a', 'Dev A ', "Ger\xC3\xA4t", full, ''};
  n = randi ([0 6]);
  s.devices = cell (1, n);
  s.descriptions = cell (1, n);
  s.held = false (1, n);
  for i = 1:n
    if (rand < 0.15)
      s.devices{i} = struct ('Held', true);
      s.held(i) = true;
      s.descriptions{i} = '';
    else
      s.descriptions{i} = pool{randi(numel (pool))};
      s.devices{i} = struct ('Description', s.descriptions{i});
      if (rand < 0.2)
        s.devices{i}.Flags = randi ([0 3]);
      endif
    endif
  endfor
  s.open_here = find (rand (1, n) < 0.3 & ! s.held);
  s.arg = [pool(1:end-1), {'zzz', char(zeros (1, 0))}]{randi(numel (pool) + 1)};
  functions = ftdisim (drv, 'functions');
  statuses = [1 2 3 4 6 17 18 19 32];
  s.faults = {};
  for f = 1:randi ([0 2])
    s.faults{end+1} = {functions{randi(numel (functions))}, statuses(randi(numel (statuses)))};
  endfor
  answers = {0, randi(n + 1), -1, NaN, 2.5, [], 'A', 2^32 + 1, Inf, {1}};
  s.answer = answers{randi(numel (answers))};
endfunction

function ok = run_scenario (s)
  drv = driver_of (s.module);
  sim_setup (drv, s.devices);
  for i = s.open_here    # attached earlier in this session, by number
    attach_run (s.module, {'no such device'}, {i});
  endfor
  for f = 1:numel (s.faults)
    ftdisim (drv, 'fail', s.faults{f}{:});
  endfor
  r = attach_run (s.module, {s.arg}, {s.answer});
  label = sprintf ('%s scenario %d', s.module, s.seed);

  failed = @(fn) any (strcmp (cellfun (@(f) f{1}, s.faults, 'UniformOutput', false), fn));
  n = numel (s.devices);
  counted = ! failed ('FT_CreateDeviceInfoList');
  listed = counted && n > 0 && ! failed ('FT_GetDeviceInfoList');
  listing = '';
  chosen = 0;
  if (counted)
    listing = sprintf ("Number of FT%d devices found: %d \n", 2 + strcmp (drv, 'd3xx'), n);
  endif
  if (listed)
    for i = 1:n
      if (isempty (s.descriptions{i}))
        listing = [listing sprintf("\t(%d) <blocked>\n", i)];
      else
        listing = [listing sprintf("\t(%d) %s\n", i, s.descriptions{i})];
        if (strcmp (s.descriptions{i}, s.arg) && numel (s.arg) == numel (s.descriptions{i}))
          listing = [listing "\t     --> Device recognized!\n"];
          chosen = i;
        endif
      endif
    endfor
  endif
  if (chosen == 0)
    chosen = selection_number (s.answer);
  endif
  in_range = chosen >= 1 && chosen <= n * counted;
  desc = '';
  if (listed && in_range)
    desc = s.descriptions{chosen};
  endif

  printed = strjoin (r.transcript(strcmp (r.transcript(:,1), 'out'), 2)', '');
  head = printed(1:min (end, numel (listing)));
  ok = expect ([label ': listing'], sprintf ('%s', head), sprintf ('%s', listing));
  ok &= check_invariants (label, s.module, r, desc);
  opens = r.log(! cellfun (@isempty, regexp (r.log, '^FT_(Open|Create)\(')))(:)';
  if (in_range)
    if (strcmp (drv, 'd2xx'))
      call = sprintf ('FT_Open(%d)=', chosen - 1);
    else
      call = sprintf ('FT_Create(0x%x,0x10)=', chosen - 1);
    endif
    ok &= expect ([label ': opens the chosen entry'], strncmp (opens, call, numel (call)), true);
  else
    ok &= expect ([label ': nothing opened'], {r.ok, opens}, {0, cell(1, 0)});
  endif
endfunction

function n = selection_number (answer)
  ## The number the flow takes from an answer to the prompt.
  n = 0;
  if ((isnumeric (answer) || islogical (answer) || ischar (answer)) && ! isempty (answer))
    v = real (double (answer(1)));
    if (v >= -2^63 && v < 2^63)
      n = mod (fix (v), 2^32);
    endif
  endif
endfunction

function v = env_text (name, default)
  v = getenv (name);
  if (isempty (v))
    v = default;
  endif
endfunction

function t = disp_text (s)
  t = strtrim (evalc ('disp (s)'));
  t = regexprep (t, '\s+', ' ');
endfunction
