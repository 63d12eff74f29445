function port_hostile_values_test ()
  ## Every class of Octave value in every argument of every method and
  ## property of uartport and fifoport, and garbage straight into the gateway
  ## ftdiport_io. HOSTILE_SAMPLE=N (valgrind) tries every N-th value in each
  ## argument, a different N-th in the next, so that each value is still
  ## tried somewhere. Each call works or raises an error with an identifier of
  ## the object's class (of ftdiport_io for the gateway's own usage); none
  ## crashes, none reaches the driver after an argument it refuses, and the
  ## simulated drivers record no misuse. Afterwards the objects still work.
  warning ('off', 'uartport:timeout');
  warning ('off', 'fifoport:timeout');
  warning ('off', 'Octave:classdef-to-struct');
  uart_arguments ();
  fifo_arguments ();
  read_only_properties ();
  gateway_garbage ();
  too_many_results ();
endfunction

## --- fixtures -----------------------------------------------------------

function setup_devices ()
  ## The objects under test on the A devices; objects made with hostile
  ## arguments on the B devices, so that attaching them leaves A alone.
  sim_setup ('d2xx', {'Dev A', 'Dev B'});
  ftdisim ('d2xx', 'loopback', 1, true);
  sim_setup ('d3xx', {struct('Description', 'FIFO A', 'Type', 601), struct('Description', 'FIFO B', 'Type', 601)});
endfunction

function obj = quietly (make)
  ## An object MAKE returns, what attaching printed kept out of the output.
  transcript ('start');
  try
    obj = make ();
  catch err
    transcript ('stop');
    rethrow (err);
  end_try_catch
  transcript ('stop');
endfunction

function s = new_uart (desc = 'Dev A')
  s = quietly (@() uartport (desc, 'Timeout', 0));
endfunction

function f = new_fifo (desc = 'FIFO A')
  f = quietly (@() fifoport (desc, 'Timeout', 0));
endfunction

function n = number_of (obj)
  ## The gateway's number for OBJ (a protected property).
  n = struct (obj).Port;
endfunction

function values = hostile_values (other, deleted)
  ## name, value: every class, empty and not, and the values at the edges.
  values = {
    'double []', []
    'double 0x3', zeros(0, 3)
    'char 0x0', ''
    'char 1x0', char(zeros(1, 0))
    'char 0x1', char(zeros(0, 1))
    'cell {}', {}
    'struct 0x0', struct([])
    'single empty', single([])
    'logical empty', logical([])
    'int8 empty', int8([])
    'uint8 empty', uint8([])
    'int16 empty', int16([])
    'uint16 empty', uint16([])
    'int32 empty', int32([])
    'uint32 empty', uint32([])
    'int64 empty', int64([])
    'uint64 empty', uint64([])
    'function handle', @sin
    'cell {1}', {1}
    'cell of text', {'LF'}
    'struct', struct('a', 1)
    'struct array', struct('a', {1, 2})
    'true', true
    'false', false
    'logical row', [true false]
    'int8 -128', int8(-128)
    'uint8 255', uint8(255)
    'int16 -1', int16(-1)
    'uint16 65535', uint16(65535)
    'int32 min', intmin('int32')
    'uint32 max', intmax('uint32')
    'int64 min', intmin('int64')
    'uint64 max', intmax('uint64')
    'NaN', NaN
    'Inf', Inf
    '-Inf', -Inf
    'single NaN', single(NaN)
    'complex', 1 + 2i
    'complex with 0i', complex(1, 0)
    'sparse', sparse(1)
    'sparse empty', sparse([])
    '3-D array', ones(2, 2, 2)
    '3-D char', repmat('LF', [1 1 2])
    'huge', 1e300
    'realmax', realmax
    '-realmax', -realmax
    '2^39 (a count of bytes beyond memory)', 2^39
    '2^53', 2^53
    '2^64', 2^64
    'negative zero', -0
    'half', 0.5
    '-1', -1
    'char matrix', ['LF'; 'CR']
    'text', 'none'
    'long text', repmat('x', 1, 100000)
    'text with NUL', ['LF' 0]
    'bytes above 127', char([200 255])
    'a row', [1 2 3]
    'the other kind of object', other
    'a deleted object', deleted
  };
endfunction

function check_call (label, kind, call, state)
  ## Runs CALL (the driver log cleared first): it works, or raises
  ## KIND:<id>; a refused argument (invalidValue, but a value the driver
  ## refuses) reaches no driver function. STATE() is what must not change
  ## when the call raises.
  drivers = {'d2xx', 'd3xx'};
  for d = drivers
    ftdisim (d{1}, 'clearlog');
  endfor
  before = state ();
  id = '';
  msg = '';
  transcript ('start');
  try
    call ();
  catch err
    id = err.identifier;
    msg = err.message;
  end_try_catch
  transcript ('stop');
  calls = [ftdisim('d2xx', 'log'); ftdisim('d3xx', 'log')];
  if (isempty (id) && isempty (msg))
    expect ([label ': works'], true, true);
  else
    expect ([label ': an error of ' kind ' with an identifier (' msg ')'], ...
            ! isempty (regexp (id, ['^' kind ':[A-Za-z]+$'], 'once')), true);
    if (strcmp (id, [kind ':invalidValue']) && isempty (strfind (msg, 'the driver refuses')))
      expect ([label ': refused before any driver call'], calls, cell (0, 1));
    endif
    expect ([label ': nothing changed'], state (), before);
  endif
  for d = drivers
    expect ([label ': no misuse of ' d{1}], ftdisim (d{1}, 'misuse'), cell (0, 1));
  endfor
endfunction

function expect_working_uart (label, s)
  ## The object still moves bytes after the hostile calls.
  flush (s);
  s.Timeout = 0;
  s.ByteOrder = 'little-endian';
  write (s, uint8 ([7 8 9]));
  expect ([label ': still works'], {s.IsOpen, read(s, 3)}, {true, uint8([7 8 9])});
endfunction

## --- uartport -------------------------------------------------------------

function uart_arguments ()
  setup_devices ();
  other = new_fifo ();
  deleted = new_uart ('Dev B');
  delete (deleted);
  values = hostile_values (other, deleted);
  s = new_uart ();
  state = @() {s.BaudRate, s.DataBits, s.StopBits, s.Parity, s.FlowControl, ...
               s.Timeout, s.ByteOrder, s.Terminator, s.Tag, s.IsOpen, ftdisim('d2xx', 'line', 1)};
  ## call with the hostile value V in one argument
  calls = {
    'uartport(V)', @(v) made_and_deleted (@() uartport (v))
    'uartport(desc, V)', @(v) made_and_deleted (@() uartport ('Dev B', v))
    'uartport(desc, V, 1)', @(v) made_and_deleted (@() uartport ('Dev B', v, 1))
    'uartport(desc, 9600, V)', @(v) made_and_deleted (@() uartport ('Dev B', 9600, v))
    'uartport(desc, BaudRate=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'BaudRate', v))
    'uartport(desc, DataBits=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'DataBits', v))
    'uartport(desc, StopBits=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'StopBits', v))
    'uartport(desc, Parity=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'Parity', v))
    'uartport(desc, FlowControl=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'FlowControl', v))
    'uartport(desc, Timeout=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'Timeout', v))
    'uartport(desc, ByteOrder=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'ByteOrder', v))
    'uartport(desc, Tag=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'Tag', v))
    'uartport(desc, UserData=V)', @(v) made_and_deleted (@() uartport ('Dev B', 'UserData', v))
    'write(s, V)', @(v) write (s, v)
    'write(s, 1, V)', @(v) write (s, 1, v)
    'read(s, V)', @(v) read (s, v)
    'read(s, 1, V)', @(v) read (s, 1, v)
    'writeline(s, V)', @(v) writeline (s, v)
    'configureTerminator(s, V)', @(v) configureTerminator (s, v)
    'configureTerminator(s, V, LF)', @(v) configureTerminator (s, v, 'LF')
    'configureTerminator(s, LF, V)', @(v) configureTerminator (s, 'LF', v)
    'flush(s, V)', @(v) flush (s, v)
    'setRTS(s, V)', @(v) setRTS (s, v)
    'setDTR(s, V)', @(v) setDTR (s, v)
    's.BaudRate = V', @(v) set_property (s, 'BaudRate', v)
    's.DataBits = V', @(v) set_property (s, 'DataBits', v)
    's.StopBits = V', @(v) set_property (s, 'StopBits', v)
    's.Parity = V', @(v) set_property (s, 'Parity', v)
    's.FlowControl = V', @(v) set_property (s, 'FlowControl', v)
    's.Timeout = V', @(v) set_property (s, 'Timeout', v)
    's.ByteOrder = V', @(v) set_property (s, 'ByteOrder', v)
    's.Tag = V', @(v) set_property (s, 'Tag', v)
    's.UserData = V', @(v) set_property (s, 'UserData', v)
  };
  for c = 1:rows (calls)
    [form, call] = calls{c,:};
    for k = sampled (c, rows (values))
      [name, v] = values{k,:};
      check_call (sprintf ('%s with V %s', form, name), 'uartport', @() call (v), state);
      reset_uart (s);
    endfor
  endfor
  ## The object itself: deleted, or of the other kind, where a uartport goes.
  methods = {
    'readline', @(o) readline (o)
    'writeline', @(o) writeline (o, 'x')
    'configureTerminator', @(o) configureTerminator (o, 'CR')
    'getpinstatus', @(o) getpinstatus (o)
    'setRTS', @(o) setRTS (o, true)
    'setDTR', @(o) setDTR (o, false)
    'write', @(o) write (o, 1)
    'read', @(o) read (o, 1)
    'flush', @(o) flush (o)
  };
  for k = 1:rows (methods)
    [name, call] = methods{k,:};
    check_call ([name ' of a deleted uartport'], 'uartport', @() call (deleted), state);
  endfor
  ## Arguments left out.
  missing = {
    'write(s)', @() write (s)
    'writeline(s)', @() writeline (s)
    'setRTS(s)', @() setRTS (s)
    'setDTR(s)', @() setDTR (s)
    'configureTerminator(s)', @() configureTerminator (s)
  };
  for k = 1:rows (missing)
    check_call ([missing{k,1} ': an argument left out'], 'uartport', missing{k,2}, state);
  endfor
  expect_working_uart ('uartport after the hostile values', s);
  delete (s);
  delete (other);
  expect ('uartport: nothing left open', {ftdisim('d2xx', 'open'), ftdisim('d3xx', 'open')}, ...
          {zeros(0, 1, 'uint64'), zeros(0, 1, 'uint64')});
endfunction

function ks = sampled (form, n)
  ## The values to try in call form FORM: all, or every N-th under
  ## HOSTILE_SAMPLE=N, starting one further on in each form.
  every = str2double (getenv ('HOSTILE_SAMPLE'));
  if (isnan (every) || every < 1)
    every = 1;
  endif
  ks = find (mod ((1:n) + form, every) == 0);
endfunction

function made_and_deleted (make)
  ## (check_call keeps what attaching prints out of the output)
  obj = make ();
  delete (obj);
endfunction

function reset_uart (s)
  ## Back to a line that answers at once, whatever a call set.
  if (s.IsOpen)
    s.Timeout = 0;
    s.FlowControl = 'none';
    s.BaudRate = 230400;
    flush (s);
  endif
endfunction

function set_property (obj, prop, value)
  obj.(prop) = value;
endfunction

## --- fifoport ---------------------------------------------------------------

function fifo_arguments ()
  setup_devices ();
  other = new_uart ();
  deleted = new_fifo ('FIFO B');
  delete (deleted);
  values = hostile_values (other, deleted);
  f = new_fifo ();
  state = @() {f.Channel, f.Timeout, f.ByteOrder, f.Tag, f.IsOpen, f.NumBytesRead, f.NumBytesWritten};
  calls = {
    'fifoport(V)', @(v) made_and_deleted (@() fifoport (v))
    'fifoport(desc, V)', @(v) made_and_deleted (@() fifoport ('FIFO B', v))
    'fifoport(desc, V, 1)', @(v) made_and_deleted (@() fifoport ('FIFO B', v, 1))
    'fifoport(desc, Channel=V)', @(v) made_and_deleted (@() fifoport ('FIFO B', 'Channel', v))
    'fifoport(desc, Timeout=V)', @(v) made_and_deleted (@() fifoport ('FIFO B', 'Timeout', v))
    'fifoport(desc, ByteOrder=V)', @(v) made_and_deleted (@() fifoport ('FIFO B', 'ByteOrder', v))
    'fifoport(desc, Tag=V)', @(v) made_and_deleted (@() fifoport ('FIFO B', 'Tag', v))
    'fifoport(desc, UserData=V)', @(v) made_and_deleted (@() fifoport ('FIFO B', 'UserData', v))
    'write(f, V)', @(v) write (f, v)
    'write(f, 1, V)', @(v) write (f, 1, v)
    'read(f, V)', @(v) read (f, v)
    'read(f, 1, V)', @(v) read (f, 1, v)
    'flush(f, V)', @(v) flush (f, v)
    'f.Timeout = V', @(v) set_property (f, 'Timeout', v)
    'f.ByteOrder = V', @(v) set_property (f, 'ByteOrder', v)
    'f.Tag = V', @(v) set_property (f, 'Tag', v)
    'f.UserData = V', @(v) set_property (f, 'UserData', v)
  };
  for c = 1:rows (calls)
    [form, call] = calls{c,:};
    for k = sampled (c, rows (values))
      [name, v] = values{k,:};
      check_call (sprintf ('%s with V %s', form, name), 'fifoport', @() call (v), state);
      if (f.IsOpen)
        f.Timeout = 0;
      endif
    endfor
  endfor
  methods = {
    'getConfiguration', @(o) getConfiguration (o)
    'write', @(o) write (o, 1)
    'read', @(o) read (o, 1)
    'flush', @(o) flush (o)
  };
  for k = 1:rows (methods)
    [name, call] = methods{k,:};
    check_call ([name ' of a deleted fifoport'], 'fifoport', @() call (deleted), state);
  endfor
  check_call ('read(f): a count left out', 'fifoport', @() read (f), state);
  check_call ('write(f): data left out', 'fifoport', @() write (f), state);
  expect ('fifoport after the hostile values: still open', f.IsOpen, true);
  delete (f);
  delete (other);
  expect ('fifoport: nothing left open', {ftdisim('d2xx', 'open'), ftdisim('d3xx', 'open')}, ...
          {zeros(0, 1, 'uint64'), zeros(0, 1, 'uint64')});
endfunction

## --- read-only properties -----------------------------------------------------

function read_only_properties ()
  ## Octave refuses these itself; the value stays, nothing reaches a driver.
  setup_devices ();
  s = new_uart ();
  f = new_fifo ();
  cases = {
    s, {'Description', 'Handle', 'IsOpen', 'NumBytesAvailable', 'NumBytesWritten', 'Terminator', 'Port', 'Settings'}
    f, {'Description', 'Handle', 'IsOpen', 'Channel', 'NumBytesRead', 'NumBytesWritten', 'Port', 'Settings'}
  };
  for c = 1:rows (cases)
    [obj, props] = cases{c,:};
    for k = 1:numel (props)
      label = sprintf ('%s.%s = 1', class (obj), props{k});
      before = struct (obj).(props{k});   # (reading some of them asks the driver)
      ftdisim ('d2xx', 'clearlog');
      ftdisim ('d3xx', 'clearlog');
      refused = false;
      try
        set_property (obj, props{k}, 1);
      catch
        refused = true;
      end_try_catch
      expect ([label ': refused'], refused, true);
      expect ([label ': no driver call'], [ftdisim('d2xx', 'log'); ftdisim('d3xx', 'log')], cell (0, 1));
      expect ([label ': unchanged'], struct (obj).(props{k}), before);
    endfor
  endfor
  delete (s);
  delete (f);
endfunction

## --- the gateway ------------------------------------------------------------------

function gateway_garbage ()
  ## ftdiport_io called directly: unknown operations, object numbers made up
  ## or of deleted objects or of the other kind, arguments missing or wrong.
  setup_devices ();
  s = new_uart ();
  f = new_fifo ();
  gone_u = new_uart ('Dev B');
  gone_f = new_fifo ('FIFO B');
  numbers = struct ('uart', number_of (s), 'fifo', number_of (f), ...
                    'gone_uart', number_of (gone_u), 'gone_fifo', number_of (gone_f));
  delete (gone_u);
  delete (gone_f);
  state = @() {s.IsOpen, f.IsOpen, s.BaudRate, s.Timeout, f.Timeout, ftdisim('d2xx', 'open'), ftdisim('d3xx', 'open')};
  id_pattern = '^(uartport|fifoport|ftdiport_io):[A-Za-z]+$';

  ## Operations the gateway does not have, and no operation at all.
  bad_ops = {'', 'nonsense', 'WRITE', 'Write', repmat('w', 1, 40), ['write' 0], 5, {'write'}, ...
             struct('op', 'write'), @write, ['wr'; 'it']};
  for k = 1:numel (bad_ops)
    gateway_call (sprintf ('operation %d (%s)', k, class (bad_ops{k})), ...
                  @() ftdiport_io (bad_ops{k}, numbers.uart), id_pattern, state);
  endfor
  gateway_call ('no arguments', @() ftdiport_io (), id_pattern, state);
  gateway_call ('an operation alone', @() ftdiport_io ('write'), id_pattern, state);

  ## Object numbers nobody has, deleted objects' numbers, of the other kind.
  made_up = {0, 1, numbers.uart + 1000, numbers.fifo + 1000, -2, -0, NaN, Inf, -Inf, 2.5, 2^53, 2^64, ...
             numbers.uart + 0.5, complex(numbers.uart, 1), [numbers.uart numbers.uart], sparse(numbers.uart), ...
             [], {numbers.uart}, 'x', char(numbers.uart), struct('Port', numbers.uart), s, f, ...
             numbers.gone_uart, numbers.gone_fifo, int8(-1), uint64(18446744073709551615)};
  ## operation, arguments after the object number
  ops = {
    'write', {1}
    'read', {1}
    'read', {}
    'available', {}
    'set', {'Timeout', 1}
    'flush', {}
    'readline', {}
    'writeline', {'x'}
    'terminator', {'CR'}
    'pins', {}
    'rts', {true}
    'dtr', {true}
    'configuration', {}
  };
  for k = 1:rows (ops)
    [op, rest] = ops{k,:};
    for j = 1:numel (made_up)
      gateway_call (sprintf ('%s on made-up number %d (%s)', op, j, class (made_up{j})), ...
                    @() ftdiport_io (op, made_up{j}, rest{:}), id_pattern, state);
    endfor
  endfor
  ## Each kind's own operations on a live object of the other kind.
  other_kind = {
    'readline', numbers.fifo, {}
    'writeline', numbers.fifo, {'x'}
    'terminator', numbers.fifo, {'CR'}
    'pins', numbers.fifo, {}
    'rts', numbers.fifo, {true}
    'dtr', numbers.fifo, {true}
    'configuration', numbers.uart, {}
    'set', numbers.fifo, {'BaudRate', 9600}
    'set', numbers.uart, {'Channel', 2}
  };
  for k = 1:rows (other_kind)
    [op, number, rest] = other_kind{k,:};
    gateway_call (sprintf ('%s on a live object of the other kind', op), ...
                  @() ftdiport_io (op, number, rest{:}), id_pattern, state);
  endfor
  ## Live objects, arguments missing or wrong.
  wrong = {
    'set without a value', {'set', numbers.uart, 'Timeout'}
    'set without a name', {'set', numbers.uart}
    'set of an unknown name', {'set', numbers.uart, 'Speed', 1}
    'set of a name as a number', {'set', numbers.uart, 5, 1}
    'set of Tag (the object keeps it)', {'set', numbers.uart, 'Tag', 'x'}
    'set of Channel (fixed)', {'set', numbers.fifo, 'Channel', 2}
    'terminator without one', {'terminator', numbers.uart}
    'terminator with three', {'terminator', numbers.uart, 'LF', 'LF', 'LF'}
    'writeline without text', {'writeline', numbers.uart}
    'rts without a state', {'rts', numbers.uart}
    'dtr without a state', {'dtr', numbers.uart}
    'write without data', {'write', numbers.uart}
    'read with a bad datatype', {'read', numbers.uart, 1, 'int128'}
    'options of a made-up kind', {'options', 'spi', {}}
    'options without arguments', {'options', 'uart'}
    'options with a struct', {'options', 'uart', struct('a', 1)}
    'options with a bad description', {'options', 'uart', {5}}
    'find without a description', {'find', 'uart'}
    'find of a number', {'find', 'fifo', 5}
    'list of a made-up kind', {'list', 'usb'}
    'list of a number', {'list', 7}
    'adopt without settings', {'adopt', 'uart', 4096}
    'adopt of a handle nobody opened', {'adopt', 'uart', 12345, struct()}
    'adopt of a handle as text', {'adopt', 'fifo', 'h', struct()}
    'adopt with settings not a struct', {'adopt', 'fifo', 4096, {}}
    'adopt of a made-up kind', {'adopt', 'spi', 4096, struct()}
    'counters of a made-up number', {'counters', 12345, 'a', {}}
    'isopen of garbage', {'isopen', {}}
  };
  for k = 1:rows (wrong)
    [name, args] = wrong{k,:};
    gateway_call (name, @() ftdiport_io (args{:}), id_pattern, state);
  endfor
  ## A handle some object already holds is not adopted a second time, not
  ## even the one attached last: a second object on it would set its line
  ## behind the first one's back, and its delete would close the handle.
  makers = {
    'uart', @() new_uart ('Dev B')
    'fifo', @() new_fifo ('FIFO B')
  };
  for k = 1:rows (makers)
    [kind, make] = makers{k,:};
    holder = make ();   # the latest open of its driver
    id = '';
    number = [];
    try
      number = ftdiport_io ('adopt', kind, holder.Handle, struct ());
    catch err
      id = err.identifier;
    end_try_catch
    expect (sprintf ('adopt of the handle a %sport holds: refused', kind), ...
            ! isempty (regexp (id, id_pattern, 'once')), true);
    if (! isempty (number))
      ftdiport_io ('close', number);   # the second object, and the handle with it
    endif
    delete (holder);
  endfor
  expect ('after the garbage: no misuse', {ftdisim('d2xx', 'misuse'), ftdisim('d3xx', 'misuse')}, {cell(0, 1), cell(0, 1)});
  if (s.IsOpen)
    expect_working_uart ('the uartport after the garbage', s);
  else
    expect ('the uartport after the garbage: still open', false, true);
  endif
  expect ('the fifoport after the garbage: still open', f.IsOpen, true);
  delete (s);
  delete (f);
  expect ('after the garbage: nothing left open', {ftdisim('d2xx', 'open'), ftdisim('d3xx', 'open')}, ...
          {zeros(0, 1, 'uint64'), zeros(0, 1, 'uint64')});
endfunction

function gateway_call (label, call, id_pattern, state)
  ## A call of the gateway with garbage: it raises an error with an
  ## identifier, reaches no driver, and changes nothing; or it works
  ## harmlessly (nothing changes).
  ftdisim ('d2xx', 'clearlog');
  ftdisim ('d3xx', 'clearlog');
  before = state ();
  id = '';
  msg = '';
  try
    call ();
  catch err
    id = err.identifier;
    msg = err.message;
  end_try_catch
  if (! (isempty (id) && isempty (msg)))
    expect ([label ': an error with an identifier (' msg ')'], ! isempty (regexp (id, id_pattern, 'once')), true);
  endif
  expect ([label ': no driver call'], [ftdisim('d2xx', 'log'); ftdisim('d3xx', 'log')], cell (0, 1));
  expect ([label ': nothing changed'], state (), before);
endfunction

function too_many_results ()
  ## More results than an operation gives: an error with an identifier,
  ## through the gateway and through the methods.
  setup_devices ();
  s = new_uart ();
  f = new_fifo ();
  u = number_of (s);
  q = number_of (f);
  ## operation and its arguments, the results it gives
  cases = {
    {'write', u, 1}, 1
    {'read', u, 0}, 1
    {'available', u}, 1
    {'counters', u, 0, 0}, 2
    {'set', u, 'Timeout', 0}, 1
    {'flush', u}, 0
    {'isopen', u}, 1
    {'list', 'uart'}, 1
    {'find', 'uart', 'Dev A'}, 0
    {'options', 'uart', {'Dev A'}}, 3
    {'readline', u}, 1
    {'writeline', u, 'x'}, 0
    {'terminator', u, 'LF'}, 2
    {'pins', u}, 1
    {'rts', u, false}, 0
    {'dtr', u, false}, 0
    {'configuration', q}, 1
    {'flush', q}, 0
    {'close', 12344}, 3
  };
  for k = 1:rows (cases)
    [args, given] = cases{k,:};
    for asked = unique ([given + 1, 5])
      id = '';
      msg = '';
      try
        with_results (asked, args);
      catch err
        id = err.identifier;
        msg = err.message;
      end_try_catch
      expect (sprintf ('ftdiport_io(''%s'') with %d results asked for (it gives %d): an error with an identifier (%s)', ...
                       args{1}, asked, given, msg), ! isempty (id), true);
    endfor
  endfor
  methods = {
    'read', @() read (s, 0)
    'readline', @() readline (s)
    'getpinstatus', @() getpinstatus (s)
    'getConfiguration', @() getConfiguration (f)
  };
  for k = 1:rows (methods)
    id = '';
    try
      [a, b] = methods{k,2} ();
    catch err
      id = err.identifier;
    end_try_catch
    expect ([methods{k,1} ' with two results asked for: an error with an identifier'], isempty (id), false);
  endfor
  expect ('too many results: no misuse', {ftdisim('d2xx', 'misuse'), ftdisim('d3xx', 'misuse')}, {cell(0, 1), cell(0, 1)});
  delete (s);
  delete (f);
endfunction

function with_results (n, args)
  ## ftdiport_io (ARGS{:}) with N results asked for, each named (a cs-list
  ## would take a missing result without an error).
  switch (n)
    case 1
      a = ftdiport_io (args{:});
    case 2
      [a, b] = ftdiport_io (args{:});
    case 3
      [a, b, c] = ftdiport_io (args{:});
    case 4
      [a, b, c, d] = ftdiport_io (args{:});
    otherwise
      [a, b, c, d, e] = ftdiport_io (args{:});
  endswitch
endfunction
