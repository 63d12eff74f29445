function b = random_bytes (n)
  ## N random bytes: a random turn of a pool of random bytes, repeated as
  ## needed (random numbers cost more than everything else in a stream test).
  ## The pool comes from a seed of its own, and leaves the caller's random
  ## state as it was, so that a round replayed alone draws the same bytes.
  persistent pool
  if (isempty (pool))
    state = rand ('twister');
    rand ('twister', 1);
    pool = uint8 (floor (rand (1, 2^20) * 256));
    rand ('twister', state);
  endif
  at = randi (numel (pool));
  turned = [pool(at:end), pool(1:at - 1)];
  b = repmat (turned, 1, ceil (n / numel (pool)));
  b = b(1:n);
endfunction
