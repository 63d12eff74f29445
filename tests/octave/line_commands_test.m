function line_commands_test ()
  ## ftdisim's commands for the far end of a simulated D2XX line, from
  ## Octave: the values they take and give, and the errors for bad ones.
  ## The far end's behaviour itself is checked natively (sim_line_test).
  what_the_host_set ();
  bytes_from_the_far_end ();
  pins ();
  argument_errors ();
endfunction

function what_the_host_set ()
  sim_setup ('d2xx', {'Dev A'});
  l = ftdisim ('d2xx', 'line', 1);
  expect ('a new device: 9600 8N1, nothing queued', ...
          [l.BaudRate l.DataBits l.StopBits l.Parity l.FlowControl l.Xon l.Xoff ...
           l.ReadTimeout l.WriteTimeout l.Queued l.Pending l.Sending l.RxPurges l.TxPurges], ...
          [9600 8 1 0 0 17 19 0 0 0 0 0 0 0]);
  expect ('DTR and RTS are logical', {l.DTR, l.RTS}, {false, false});
  r = attach_run ('uartattach', {'Dev A'});
  l = ftdisim ('d2xx', 'line', 1);
  expect ('uartattach sets 230400 8N1', [r.ok l.BaudRate l.DataBits l.StopBits l.Parity], ...
          [1 230400 8 1 0]);
  expect ('nothing went out', ftdisim ('d2xx', 'tx', 1), zeros (1, 0, 'uint8'));
endfunction

function bytes_from_the_far_end ()
  sim_setup ('d2xx', {'Dev A'});
  ftdisim ('d2xx', 'rx', 1, 'text');
  ftdisim ('d2xx', 'rx', 1, uint8 ([0 255]));
  ftdisim ('d2xx', 'rx', 1, 'later', 60);
  l = ftdisim ('d2xx', 'line', 1);
  expect ('text and uint8 arrive now, delayed bytes later', [l.Queued l.Pending], [6 5]);
  ftdisim ('d2xx', 'pacing', 1, true);
  ftdisim ('d2xx', 'rx', 1, repmat ('p', 1, 96));   # 0.1 s at 9600 baud
  l = ftdisim ('d2xx', 'line', 1);
  expect ('paced bytes are on their way', ...
          [l.Pending > 5, l.Queued + l.Pending], [true, 6 + 5 + 96]);
  sim_setup ('d2xx', {'Dev A'});
  l = ftdisim ('d2xx', 'line', 1);
  expect ('a reset forgets them', [l.Queued l.Pending], [0 0]);
endfunction

function pins ()
  sim_setup ('d2xx', {'Dev A'});
  expect ('a new device', ftdisim ('d2xx', 'pins', 1), ...
          struct ('ClearToSend', true, 'DataSetReady', true, ...
                  'CarrierDetect', false, 'RingIndicator', false));
  p = ftdisim ('d2xx', 'pins', 1, struct ('ClearToSend', false, 'RingIndicator', 1));
  expect ('given pins change, the others stay', ...
          [p.ClearToSend p.DataSetReady p.CarrierDetect p.RingIndicator], ...
          logical ([0 1 0 1]));
  expect ('and stay so', ftdisim ('d2xx', 'pins', 1), p);
endfunction

function argument_errors ()
  sim_setup ('d2xx', {'Dev A'});
  ## arguments after 'd2xx', error identifier
  cases = {
    {'rx', 1}, 'ftdisim:usage'
    {'rx', 1, {1}}, 'ftdisim:argument'
    {'rx', 1, 'x', -1}, 'ftdisim:argument'
    {'rx', 1, 'x', [1 2]}, 'ftdisim:argument'
    {'rx', 1, 'x', Inf}, 'ftdisim:argument'
    {'rx', 1, 'x', 'soon'}, 'ftdisim:argument'
    {'rx', 0, 'x'}, 'ftdisim:rejected'
    {'rx', 2, 'x'}, 'ftdisim:rejected'
    {'tx'}, 'ftdisim:usage'
    {'tx', 2}, 'ftdisim:rejected'
    {'loopback', 1}, 'ftdisim:usage'
    {'pacing', 2, true}, 'ftdisim:rejected'
    {'pins', 1, 5}, 'ftdisim:argument'
    {'pins', 1, struct('CTS', true)}, 'ftdisim:argument'
    {'pins', 1, struct('ClearToSend', {true, false})}, 'ftdisim:argument'
    {'line', 2}, 'ftdisim:rejected'
  };
  for k = 1:rows (cases)
    id = '';
    try
      ftdisim ('d2xx', cases{k, 1}{:});
    catch err
      id = err.identifier;
    end_try_catch
    expect (sprintf ('ftdisim (''d2xx'', %s)', strjoin (cellfun (@disp_arg, cases{k, 1}, ...
                                                          'UniformOutput', false), ', ')), ...
            id, cases{k, 2});
  endfor
  id = '';
  try
    ftdisim ('d3xx', 'rx', 1, 'x');
  catch err
    id = err.identifier;
  end_try_catch
  expect ('the far-end commands are the D2XX driver''s', id, 'ftdisim:usage');
endfunction

function s = disp_arg (v)
  if (ischar (v))
    s = ['''' v ''''];
  elseif (isnumeric (v) || islogical (v))
    s = mat2str (v);
  else
    s = class (v);
  endif
endfunction
