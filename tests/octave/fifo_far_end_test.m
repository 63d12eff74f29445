function fifo_far_end_test ()
  ## ftdisim's D3XX far-end commands from Octave: what they return and what
  ## they reject (the far end's behaviour is shown by tests/native).
  pipes_per_configuration ();
  fresh_far_end ();
  rejected_arguments ();
  unplug_now ();
endfunction

function pipes_per_configuration ()
  ## ChannelConfig, pipe IDs listed
  cases = {
    0, [2 3 4 5 130 131 132 133]
    1, [2 3 130 131]
    2, [2 130]
    3, 2
    4, 130
  };
  for k = 1:rows (cases)
    [config, ids] = cases{k,:};
    sim_setup ('d3xx', {'FIFO A'}, 'config', struct ('ChannelConfig', config));
    p = ftdisim ('d3xx', 'pipes', 1);
    expect (sprintf ('ChannelConfig %d: pipes', config), [p.Pipe], ids);
  endfor
endfunction

function fresh_far_end ()
  sim_setup ('d3xx', {'FIFO A', 'FIFO B'});
  ftdisim ('d3xx', 'source', 2, 'pattern', uint8 ([1 2 3]), 4);
  ftdisim ('d3xx', 'loopback', 2, true, 3);
  ftdisim ('d3xx', 'rate', 2, 1e6);
  ftdisim ('d3xx', 'timeouts', 2, 'short');
  p = ftdisim ('d3xx', 'pipes', 2);
  expect ('pipes: fields', fieldnames (p), {'Pipe'; 'Timeout'; 'Stuck'; 'Queued'; 'Moved'});
  expect ('pipes: defaults', {p(1).Timeout, p(1).Stuck, p(1).Queued, p(1).Moved}, ...
          {5000, false, 0, 0});
  expect ('sink of channel 2', ftdisim ('d3xx', 'sink', 2, 2), ...
          struct ('Count', 0, 'Checksum', 1, 'Last', zeros (1, 0, 'uint8')));
  ftdisim ('d3xx', 'remove', 1);
  expect ('device numbers follow the table', numel (ftdisim ('d3xx', 'pipes', 1)), 8);
  names = ftdisim ('d3xx', 'functions');
  expect ('pipe functions can be made to fail', ...
          all (ismember ({'FT_WritePipe', 'FT_ReadPipe', 'FT_SetPipeTimeout', ...
                          'FT_AbortPipe', 'FT_FlushPipe'}, names)), true);
endfunction

function rejected_arguments ()
  ## arguments after 'd3xx', error identifier, message
  cases = {
    {'source', 1, 'noise'}, 'ftdisim:argument', "ftdisim: The source is 'counter', 'pattern', 'bytes' or 'none'."
    {'source', 1, 'pattern', ''}, 'ftdisim:rejected', 'ftdisim: a pattern needs at least one byte'
    {'source', 1, 'pattern'}, 'ftdisim:usage', 'ftdisim: Missing argument: bytes.'
    {'source', 1, 'counter', 5}, 'ftdisim:rejected', 'ftdisim: the channel is 1 to 4'
    {'sink', 1, 0}, 'ftdisim:rejected', 'ftdisim: the channel is 1 to 4'
    {'loopback', 1, true, 2}, 'ftdisim:rejected', 'ftdisim: channel 2 has no IN pipe in this chip configuration'
    {'timeouts', 1, 'never'}, 'ftdisim:argument', "ftdisim: Timeouts answer 'status' or 'short'."
    {'pipes', 2}, 'ftdisim:rejected', 'ftdisim: no device at that index'
    {'rate', 0, 1}, 'ftdisim:rejected', 'ftdisim: no device at that index'
    {'unplug'}, 'ftdisim:usage', 'ftdisim: Missing argument: N.'
  };
  for k = 1:rows (cases)
    [args, id, message] = cases{k,:};
    sim_setup ('d3xx', {'FIFO A'}, 'config', struct ('ChannelConfig', 2));
    label = sprintf ('rejects %s #%d', args{1}, k);
    try
      ftdisim ('d3xx', args{:});
      expect (label, 'no error', message);
    catch err
      expect (label, {err.identifier, err.message}, {id, message});
    end_try_catch
  endfor
endfunction

function unplug_now ()
  sim_setup ('d3xx', {'FIFO A', 'FIFO B'});
  ftdisim ('d3xx', 'unplug', 1, 0);
  ftdisim ('d3xx', 'unplug', 1, 1000);   # device B, now first: not yet
  expect ('unplug 0 removes the device at once', numel (ftdisim ('d3xx', 'pipes', 1)), 8);
  try
    ftdisim ('d3xx', 'pipes', 2);
    expect ('only one device left', false, true);
  catch err
    expect ('only one device left', err.message, 'ftdisim: no device at that index');
  end_try_catch
endfunction
