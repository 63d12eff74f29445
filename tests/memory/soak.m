function soak (moddir, calls)
  ## CALLS attach calls of each module on the simulated drivers (the device
  ## found open each time, so every call closes and reopens it): prints the
  ## resident memory before and after to stderr, and exits non-zero when it
  ## grew by 2 MiB or more (a leak of 24 bytes a call would), or when the
  ## driver holds other than one handle per attached device at the end.
  ## Octave's own memory settles over the first few ten thousand calls,
  ## hence the warm-up.  Run with stdout sent to /dev/null: each call prints
  ## its listing there.
  addpath (moddir);
  modules = {'uartattach', 'fifoattach'};
  drivers = {'d2xx', 'd3xx'};
  descriptions = {'Soak Serial', 'Soak FIFO'};
  batch = 1000;      # the simulated driver's log and closed-handle records
                     # grow with every call; they are reset between batches
  problems = 0;
  for m = 1:2
    [module, desc] = deal (modules{m}, descriptions{m});
    drv = drivers{m};
    run_batches (module, drv, desc, batch, 30 * batch);  # Octave settles first
    before = rss_kib ();
    run_batches (module, drv, desc, batch, calls);
    after = rss_kib ();
    open = numel (ftdisim (drv, 'open'));
    fprintf (stderr, "%s: %d calls, resident memory %d KiB before, %d KiB after (%+d KiB), %d handle(s) open for 1 device\n",
             module, calls, before, after, after - before, open);
    problems += (after - before >= 2048) + (open != 1);
  endfor
  exit (problems > 0);
endfunction

function run_batches (module, drv, desc, batch, calls)
  for done = 0:batch:calls - 1
    ftdisim (drv, 'reset');
    ftdisim (drv, 'add', desc);
    for k = 1:batch
      [ok, h, d] = feval (module, desc);
      if (! ok)
        error ('soak: %s failed to attach', module);
      endif
    endfor
  endfor
endfunction

function kib = rss_kib ()
  status = fileread ('/proc/self/status');
  kib = str2double (regexp (status, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1});
endfunction
