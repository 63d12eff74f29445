function ok = expect_transcript (label, actual, expected)
  ## Compares what a call printed, channel by channel and in order.  EXPECTED
  ## is an N-by-2 cell of {'out' | 'con', text}; neighbouring pieces of one
  ## channel count as one.
  ok = expect ([label ': transcript'], merged (actual), merged (expected));
endfunction

function m = merged (t)
  m = cell (0, 2);
  for i = 1:rows (t)
    if (isempty (t{i,2}))
      continue;
    elseif (rows (m) > 0 && strcmp (m{end,1}, t{i,1}))
      m{end,2} = [m{end,2} t{i,2}];
    else
      m(end+1,:) = t(i,:);
    endif
  endfor
  m = reshape (m', 1, []);  # a flat {channel, text, channel, text, ...} reads best
endfunction
