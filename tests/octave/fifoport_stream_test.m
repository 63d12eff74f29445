function fifoport_stream_test ()
  ## Seeded random streams through a fifoport on the simulated D3XX far end:
  ## the IN pipe's 32-bit counter read in random counts of random datatypes
  ## and byte orders, with random Timeouts (0 too), both ways a transfer can
  ## end at its timeout ('status', 'short'), and at times a rate limit that
  ## makes reads end part way; writes of random data in between. The counter
  ## stream that comes out has no gap and no duplicate, and the sink's count
  ## and Adler-32 are those of every byte written.
  ## FIFO_STREAM_BYTES (default 256 MiB read) is streamed in rounds of up to
  ## 32 MiB, each on a fresh object with its own seed from FIFO_STREAM_SEED
  ## on; a failing round prints the line that replays it alone.
  warning ('off', 'fifoport:timeout');
  total = env_number ('FIFO_STREAM_BYTES', 256 * 2^20);
  base = env_number ('FIFO_STREAM_SEED', 20261211);
  round_bytes = min (total, 32 * 2^20);
  rounds = ceil (total / round_bytes);
  streamed = 0;
  written = 0;
  short = 0;
  tic;
  for seed = base:base + rounds - 1
    [ok, m] = stream_round (seed, round_bytes);
    streamed += m.r;
    written += m.sunk;
    short += m.short;
    if (! ok)
      fprintf (stderr, "  replay: FIFO_STREAM_SEED=%d FIFO_STREAM_BYTES=%d ctest --test-dir build -R '^fifoport_stream_test$' --output-on-failure\n", ...
               seed, round_bytes);
    endif
  endfor
  printf ("fifoport_stream_test: %d bytes read and %d written in %d rounds in %.1f s; %d transfers ended at their Timeout\n", ...
          streamed, written, rounds, toc, short);
  expect ('the whole volume went through', streamed >= total, true);
endfunction

## --- one round ------------------------------------------------------------

function [ok, m] = stream_round (seed, nbytes)
  ## Reads NBYTES of the counter through a fresh object; false at the first
  ## call whose result differs from the model's (the round stops there).
  rand ('twister', seed);
  sim_setup ('d3xx', {struct('Description', 'FIFO A', 'Type', 601)});
  ftdisim ('d3xx', 'source', 1, 'counter');
  transcript ('start');
  f = fifoport ('FIFO A', 'Timeout', 1);
  transcript ('stop');
  ## r: counter bytes handed to the script; sunk, a, b: the bytes written
  ## and their Adler-32 sums.
  m = struct ('r', 0, 'sunk', 0, 'a', 1, 'b', 0, 'big', false, 'timeout', 1, ...
              'rate', 0, 'kind', 'status', 'short', 0, 'seed', seed, 'history', {{}});
  ok = true;
  step = 0;
  while (ok && m.r < nbytes)
    step += 1;
    [m, ok] = one_step (f, m, step);
  endwhile
  if (ok)
    sink = ftdisim ('d3xx', 'sink', 1);
    ok = same (m, step, 'the sink: count and Adler-32', [sink.Count sink.Checksum], [m.sunk, m.b * 65536 + m.a]) && ...
         same (m, step, 'NumBytesRead, NumBytesWritten', [f.NumBytesRead f.NumBytesWritten], [m.r m.sunk]);
  endif
  ok = ok && expect (sprintf ('seed %d: no misuse of the driver', seed), ftdisim ('d3xx', 'misuse'), cell (0, 1));
  delete (f);
  ok = ok && expect (sprintf ('seed %d: nothing left open', seed), ftdisim ('d3xx', 'open'), zeros (0, 1, 'uint64'));
  if (ok)
    expect (sprintf ('seed %d: %d bytes read, %d written, %d calls', seed, m.r, m.sunk, step), true, true);
  endif
endfunction

function [m, ok] = one_step (f, m, step)
  ok = true;
  ## read, write, Timeout, ByteOrder, the kind of timeout, rate limit
  weights = [40, 6, 6, 3, 3, 4];
  op = find (rand () * sum (weights) < cumsum (weights), 1);
  switch (op)
    case 1
      [type, width] = random_datatype ();
      n = floor (chunk (m) / width);
      note = sprintf ('read %d %s (%s), Timeout %g, rate %g, %s timeouts', n, type, ...
                      order_name (m.big), m.timeout, m.rate, m.kind);
      m = noted (m, note);
      [values, id] = warned (@() read (f, n, type));
      k = numel (values);
      ## Without a rate limit the counter is there at once: a read with time
      ## to spare gets all it asked for.
      complete = m.rate == 0 && m.timeout >= 1;
      ok = same (m, step, [note ': class'], class (values), ifelse (any (strcmp (type, {'char', 'string'})), 'char', type)) && ...
           same (m, step, [note ': at most the count'], k <= n && (k == n || ! complete), true) && ...
           same (m, step, [note ': a row'], size (values), [1 k]) && ...
           same (m, step, [note ': the counter goes on'], wire_bytes (values, m.big), counter_bytes (m.r, k * width)) && ...
           same (m, step, [note ': warning'], id, ifelse (k < n, 'fifoport:timeout', ''));
      m.r += k * width;
      m.short += k < n;
    case 2
      [type, width] = random_datatype ();
      n = floor (chunk (m) / width);
      [values, wire] = random_values (type, n, m.big);
      note = sprintf ('write %d %s (%s), Timeout %g, rate %g, %s timeouts', n, type, ...
                      order_name (m.big), m.timeout, m.rate, m.kind);
      m = noted (m, note);
      [got, id] = warned (@() write (f, values, type));
      complete = m.rate == 0 && m.timeout >= 1;
      ok = same (m, step, [note ': at most the bytes given'], got <= numel (wire) && (got == numel (wire) || ! complete), true) && ...
           same (m, step, [note ': warning'], id, ifelse (got < numel (wire), 'fifoport:timeout', ''));
      m = sunk (m, wire(1:got));
      m.short += got < numel (wire);
    case 3
      if (m.rate == 0)
        timeouts = [0 0.001 0.01 0.1 1 1 1 5];
      else
        timeouts = [0 0.001 0.005 0.02];   # a rate limit makes each wait count
      endif
      m.timeout = timeouts(randi (numel (timeouts)));
      m = noted (m, sprintf ('Timeout = %g', m.timeout));
      f.Timeout = m.timeout;
    case 4
      m.big = rand () < 0.5;
      m = noted (m, ['ByteOrder = ' order_name(m.big)]);
      f.ByteOrder = order_name (m.big);
    case 5
      kinds = {'status', 'short'};
      m.kind = kinds{randi (2)};
      m = noted (m, ['timeouts ' m.kind]);
      ftdisim ('d3xx', 'timeouts', 1, m.kind);
    case 6
      if (m.rate == 0 && rand () < 0.7)
        m.rate = 2e6 * randi (10);
        if (m.timeout > 0.02)
          m.timeout = 0.02;
          f.Timeout = m.timeout;
        endif
      else
        m.rate = 0;
      endif
      m = noted (m, sprintf ('rate %g', m.rate));
      ftdisim ('d3xx', 'rate', 1, m.rate);
  endswitch
endfunction

## --- the model's helpers ----------------------------------------------------

function m = sunk (m, bytes)
  ## The sink's count and Adler-32 with BYTES added, in blocks that keep
  ## the sums exact in doubles.
  bytes = double (bytes(:));
  for start = 1:2^20:numel (bytes)
    block = bytes(start:min (start + 2^20 - 1, end));
    n = numel (block);
    m.b = mod (m.b + n * m.a + sum ((n:-1:1)' .* block), 65521);
    m.a = mod (m.a + sum (block), 65521);
  endfor
  m.sunk += numel (bytes);
endfunction

function v = counter_bytes (first, n)
  ## Bytes FIRST .. FIRST+N-1 of the 32-bit little-endian counter stream.
  if (n == 0)
    v = zeros (1, 0, 'uint8');
    return;
  endif
  words = uint32 (floor (first / 4):floor ((first + n - 1) / 4));
  bytes = typecast (words, 'uint8');
  v = bytes(mod (first, 4) + 1:mod (first, 4) + n);   # a range: no index vector
endfunction

function ok = same (m, step, what, actual, expected)
  ## Counts nothing when equal (the round counts once); a mismatch fails
  ## with the seed, the call and the calls before it.
  ok = isequal (actual, expected);
  if (! ok)
    stream_mismatch (sprintf ('seed %d, call %d (%d bytes read, %d written): %s', m.seed, step, m.r, m.sunk, what), m.history, actual, expected);
  endif
endfunction

function n = chunk (m)
  ## A byte count from 1 to 4 Mi, as many of each order of magnitude; up to
  ## 256 Ki under a rate limit.
  top = ifelse (m.rate == 0, 22, 18);
  n = floor (2 ^ (rand () * top));
endfunction

function t = order_name (big)
  t = ifelse (big, 'big-endian', 'little-endian');
endfunction

