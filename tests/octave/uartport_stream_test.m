function uartport_stream_test ()
  ## Seeded random streams through a uartport on the simulated loopback:
  ## writes of every datatype and byte order, writelines, bytes the far end
  ## sends, reads of random counts and datatypes, readline with random
  ## terminators, read(s), NumBytesAvailable, Timeouts from 0 up, all mixed.
  ## A model of the stream checks that every byte written comes out exactly
  ## once and in order, and that each call returns exactly what was there.
  ## UART_STREAM_BYTES (default 4 MiB) is streamed in rounds of up to
  ## 256 KiB, each on a fresh object with its own seed from UART_STREAM_SEED
  ## on; a failing round prints the line that replays it alone.
  warning ('off', 'uartport:timeout');
  total = env_number ('UART_STREAM_BYTES', 4 * 2^20);
  base = env_number ('UART_STREAM_SEED', 20261211);
  round_bytes = min (total, 256 * 1024);
  rounds = ceil (total / round_bytes);
  streamed = 0;
  tic;
  for seed = base:base + rounds - 1
    [ok, n] = stream_round (seed, round_bytes);
    streamed += n;
    if (! ok)
      fprintf (stderr, "  replay: UART_STREAM_SEED=%d UART_STREAM_BYTES=%d ctest --test-dir build -R '^uartport_stream_test$' --output-on-failure\n", ...
               seed, round_bytes);
    endif
  endfor
  printf ("uartport_stream_test: %d bytes in %d rounds through the loopback in %.1f s\n", ...
          streamed, rounds, toc);
  expect ('the whole volume went through', streamed >= total, true);
endfunction

## --- one round ------------------------------------------------------------

function [ok, r] = stream_round (seed, nbytes)
  ## Streams NBYTES through a fresh object; false at the first call whose
  ## result differs from the model's (the round stops there).
  rand ('twister', seed);
  sim_setup ('d2xx', {'Dev A'});
  ftdisim ('d2xx', 'loopback', 1, true);
  transcript ('start');
  s = uartport ('Dev A', 'Timeout', 0);
  transcript ('stop');
  ## stream: every byte bound for the receive side, in order, w of them so
  ## far, r of them read; out: the bytes the object wrote, ow of them, tx of
  ## them seen on the line.
  m = struct ('stream', zeros (1, nbytes + 2^18, 'uint8'), 'w', 0, 'r', 0, ...
              'out', zeros (1, nbytes + 2^18, 'uint8'), 'ow', 0, 'tx', 0, 'big', false, 'rterm', uint8 (10), 'wterm', uint8 (10), ...
              'timeout', 0, 'seed', seed, 'history', {{}});
  r = 0;
  ok = true;
  step = 0;
  while (ok && (m.w < nbytes || m.r < m.w))
    step += 1;
    [m, ok] = one_step (s, m, nbytes, step);
  endwhile
  if (ok)
    [m, ok] = check_tx (m, step + 1);
  endif
  r = m.r;
  ok = ok && expect (sprintf ('seed %d: no misuse of the driver', seed), ftdisim ('d2xx', 'misuse'), cell (0, 1));
  delete (s);
  ok = ok && expect (sprintf ('seed %d: nothing left open', seed), ftdisim ('d2xx', 'open'), zeros (0, 1, 'uint64'));
  if (ok)
    expect (sprintf ('seed %d: %d bytes, %d calls', seed, m.r, step), true, true);
  endif
endfunction

function [m, ok] = one_step (s, m, nbytes, step)
  ## One random call and its check against the model M.
  ok = true;
  pending = m.w - m.r;
  can_write = m.w < nbytes && pending < 2^17;
  ## write, writeline, far end sends, read, readline, read(s),
  ## NumBytesAvailable, Timeout, ByteOrder, terminators, tx
  weights = [30*can_write, 4*can_write, 3*can_write, 30, 8, 4, 4, 5, 3, 3, 1];
  op = find (rand () * sum (weights) < cumsum (weights), 1);
  switch (op)
    case {1, 3}
      [type, width] = random_datatype ();
      n = floor (chunk () / width);
      if (rand () < 0.03)
        n = 0;
      endif
      [values, wire] = random_values (type, n, m.big);
      if (op == 3)
        ## The far end sends the same bytes: they queue behind the rest.
        note = sprintf ('ftdisim rx %d bytes', numel (wire));
        m = noted (m, note);
        ftdisim ('d2xx', 'rx', 1, wire);
        got = numel (wire);
        id = '';
      else
        data = as_given (values, type);
        note = sprintf ('write %d %s as %s (%s) %s', n, class (data), type, ...
                        ifelse (m.big, 'big-endian', 'little-endian'), mat2str (size (data)));
        m = noted (m, note);
        [got, id] = warned (@() write (s, data, type));
        m.out(m.ow + (1:numel (wire))) = wire;
        m.ow += numel (wire);
      endif
      ok = same (m, step, [note ': count'], got, numel (wire)) && ...
           same (m, step, [note ': no warning'], id, '');
      m.stream(m.w + (1:numel (wire))) = wire;
      m.w += numel (wire);
    case 2
      text = char (randi ([0 255], 1, floor (chunk () / 4)));
      note = sprintf ('writeline of %d chars, terminator %s', numel (text), mat2str (m.wterm));
      m = noted (m, note);
      [~, id] = warned (@() writeline_result (s, text));
      ok = same (m, step, [note ': no warning'], id, '');
      wire = [uint8(double (text)), m.wterm];
      m.stream(m.w + (1:numel (wire))) = wire;
      m.w += numel (wire);
      m.out(m.ow + (1:numel (wire))) = wire;
      m.ow += numel (wire);
    case 4
      [type, width] = random_datatype ();
      n = floor (chunk () / width);
      if (rand () < 0.2)
        n = floor (pending / width) + randi ([0 3]);   # about what is there
      endif
      note = sprintf ('read %d %s (%s), Timeout %g, %d there', n, type, ...
                      ifelse (m.big, 'big-endian', 'little-endian'), m.timeout, pending);
      m = noted (m, note);
      [values, id] = warned (@() read (s, n, type));
      k = min (n, floor (pending / width));
      expected = m.stream(m.r + (1:k * width));
      ok = same (m, step, [note ': class'], class (values), ifelse (any (strcmp (type, {'char', 'string'})), 'char', type)) && ...
           same (m, step, [note ': size'], size (values), [1 k]) && ...
           same (m, step, [note ': bytes'], wire_bytes (values, m.big), expected) && ...
           same (m, step, [note ': warning'], id, ifelse (k < n, 'uartport:timeout', ''));
      m.r += k * width;
    case 5
      note = sprintf ('readline, terminator %s, Timeout %g, %d there', mat2str (m.rterm), m.timeout, pending);
      m = noted (m, note);
      [text, id] = warned (@() readline (s));
      there = m.stream(m.r + 1:m.w);
      at = find_terminator (there, m.rterm);
      if (isempty (at))
        expected = there;
        used = numel (there);
      else
        expected = there(1:at - 1);
        used = at - 1 + numel (m.rterm);
      endif
      ok = same (m, step, [note ': class'], class (text), 'char') && ...
           same (m, step, [note ': text'], uint8 (double (text(:)')), expected) && ...
           same (m, step, [note ': warning'], id, ifelse (isempty (at), 'uartport:timeout', ''));
      m.r += used;
    case 6
      note = sprintf ('read(s), %d there', pending);
      m = noted (m, note);
      [values, id] = warned (@() read (s));
      ok = same (m, step, [note ': bytes'], values, m.stream(m.r + 1:m.w)) && ...
           same (m, step, [note ': no warning'], id, '');
      m.r = m.w;
    case 7
      m = noted (m, 'NumBytesAvailable');
      ok = same (m, step, 'NumBytesAvailable', s.NumBytesAvailable, pending);
    case 8
      timeouts = [0 0 0 0.001 0.002 0.005 0.01 0.02];
      m.timeout = timeouts(randi (numel (timeouts)));
      m = noted (m, sprintf ('Timeout = %g', m.timeout));
      s.Timeout = m.timeout;
    case 9
      m.big = rand () < 0.5;
      order = ifelse (m.big, 'big-endian', 'little-endian');
      m = noted (m, ['ByteOrder = ' order]);
      s.ByteOrder = order;
    case 10
      [rt, m.rterm] = random_terminator ();
      if (rand () < 0.5)
        wt = rt;
        m.wterm = m.rterm;
        m = noted (m, sprintf ('configureTerminator (%s)', disp_value (rt)));
        configureTerminator (s, rt);
      else
        [wt, m.wterm] = random_terminator ();
        m = noted (m, sprintf ('configureTerminator (%s, %s)', disp_value (rt), disp_value (wt)));
        configureTerminator (s, rt, wt);
      endif
    case 11
      [m, ok] = check_tx (m, step);
  endswitch
  if (ok && m.r > m.w)
    ok = same (m, step, 'the model read past what was written', m.r, m.w);
  endif
endfunction

function [m, ok] = check_tx (m, step)
  ## What went out on the line since the last look: every byte the object
  ## wrote (the far end's own bytes never go out).
  m = noted (m, 'ftdisim tx');
  sent = ftdisim ('d2xx', 'tx', 1);
  ok = same (m, step, 'bytes on the line', sent, m.out(m.tx + 1:m.ow));
  m.tx = m.ow;
endfunction

## --- the model's helpers ----------------------------------------------------

function ok = same (m, step, what, actual, expected)
  ## Counts nothing when equal (the round counts once); a mismatch fails
  ## with the seed, the call and the calls before it.
  ok = isequal (actual, expected);
  if (! ok)
    stream_mismatch (sprintf ('seed %d, call %d (%d bytes written, %d read): %s', m.seed, step, m.w, m.r, what), m.history, actual, expected);
  endif
endfunction

function t = disp_value (v)
  t = strtrim (disp (v));
endfunction

function n = chunk ()
  ## A byte count from 1 to 64 Ki, as many of each order of magnitude.
  n = floor (2 ^ (rand () * 16));
endfunction

function data = as_given (values, type)
  ## The values as the script passes them: of the datatype's class, or as
  ## doubles where those hold them exactly, sometimes as a matrix (written
  ## column by column).
  data = values;
  if (rand () < 0.3 && ! any (strcmp (type, {'uint64', 'int64'})))
    data = double (values);
  endif
  n = numel (data);
  if (rand () < 0.2 && n >= 2 && mod (n, 2) == 0)
    data = reshape (data, 2, n / 2);
  endif
endfunction

function [given, bytes] = random_terminator ()
  ## A terminator as configureTerminator takes it, and its bytes.
  k = randi (4);
  switch (k)
    case 1
      given = 'LF';
      bytes = uint8 (10);
    case 2
      given = 'CR';
      bytes = uint8 (13);
    case 3
      given = 'CR/LF';
      bytes = uint8 ([13 10]);
    otherwise
      given = randi ([0 255]);
      bytes = uint8 (given);
  endswitch
endfunction

function at = find_terminator (bytes, term)
  ## Where the first terminator starts in BYTES, or [].
  if (numel (term) == 1)
    at = find (bytes == term, 1);
  else
    at = find (bytes(1:end - 1) == term(1) & bytes(2:end) == term(2), 1);
  endif
endfunction

function out = writeline_result (s, text)
  writeline (s, text);
  out = [];
endfunction

