function uartport_test ()
  ## uartport on the simulated D2XX driver and its far end: making objects,
  ## settings, data of every datatype and byte order, lines, timeouts, pins,
  ## closing, stale handles and driver failures.
  warning ('off', 'uartport:timeout');
  making_objects ();
  arguments_checked_first ();
  not_found_and_not_attached ();
  asked_at_the_prompt ();
  refused_configuration ();
  settings ();
  datatypes_and_byte_orders ();
  values_that_do_not_fit ();
  counts ();
  timeouts ();
  nothing_is_lost ();
  lines ();
  flushing ();
  pins ();
  counters ();
  closing ();
  stale_handles ();
  driver_failures ();
  unplug_and_replug ();
  device_list ();
  missing_data_functions ();
endfunction

## --- fixtures -----------------------------------------------------------

function s = attached (varargin)
  s = quietly (@() uartport (varargin{:}));
endfunction

function s = loopback (varargin)
  ## One device, "Dev A", wired TX to RX, and a uartport on it.
  sim_setup ('d2xx', {'Dev A'});
  ftdisim ('d2xx', 'loopback', 1, true);
  s = attached ('Dev A', varargin{:});
endfunction

function n = count_calls (name)
  n = sum (strncmp (ftdisim ('d2xx', 'log'), [name '('], numel (name) + 1));
endfunction

function expect_clean (label)
  ## Nothing left open in the driver, no closed handle passed to it again.
  expect ([label ': nothing left open'], ftdisim ('d2xx', 'open'), zeros (0, 1, 'uint64'));
  expect ([label ': no misuse'], ftdisim ('d2xx', 'misuse'), cell (0, 1));
endfunction

## --- cases ----------------------------------------------------------------

function making_objects ()
  ## form, arguments, then the settings the object shows and the driver got
  cases = {
    'description only', {}, 230400, 8, 1, 'none', 'none', 10
    'with a baud rate', {9600}, 9600, 8, 1, 'none', 'none', 10
    'names in any case', {'baudrate', 115200, 'DATABITS', 7, 'Parity', 'Even'}, 115200, 7, 1, 'even', 'none', 10
    'baud rate and names', {57600, 'StopBits', 2, 'FlowControl', 'hardware', 'Timeout', 0.5}, 57600, 8, 2, 'none', 'hardware', 0.5
    'software flow, mark parity', {'FlowControl', 'software', 'Parity', 'mark', 'Timeout', Inf}, 230400, 8, 1, 'mark', 'software', Inf
  };
  flows = struct ('none', 0, 'hardware', 256, 'software', 1024);
  parities = struct ('none', 0, 'odd', 1, 'even', 2, 'mark', 3, 'space', 4);
  for k = 1:rows (cases)
    [name, args, baud, bits, stop, parity, flow, timeout] = cases{k,:};
    sim_setup('d2xx', {'Dev A'});
    s = attached ('Dev A', args{:});
    expect ([name ': settings'], {s.BaudRate, s.DataBits, s.StopBits, s.Parity, s.FlowControl, s.Timeout}, ...
            {baud, bits, stop, parity, flow, timeout});
    expect ([name ': object'], {s.Description, s.Handle, s.IsOpen, s.Terminator, s.ByteOrder}, ...
            {'Dev A', 4096, true, 'LF', 'little-endian'});
    line = ftdisim ('d2xx', 'line', 1);
    expect ([name ': the line'], {line.BaudRate, line.DataBits, line.StopBits, line.Parity, line.FlowControl}, ...
            {baud, bits, stop, parities.(parity), flows.(flow)});
    ## The driver never waits forever for the object.
    expect ([name ': timeouts set, not 0'], line.ReadTimeout > 0 && line.ReadTimeout <= 50 && line.WriteTimeout > 0, true);
    delete (s);
    expect_clean (name);
  endfor
  sim_setup('d2xx', {'Dev A'});
  s = attached ('Dev A', 'Tag', 'scope', 'UserData', {1, 2}, 'ByteOrder', 'big-endian');
  expect ('Tag, UserData, ByteOrder', {s.Tag, s.UserData, s.ByteOrder}, {'scope', {1, 2}, 'big-endian'});
  delete (s);
endfunction

function arguments_checked_first ()
  ## Each of these is refused before anything is listed or printed.
  cases = {
    'a number as description', {5}
    'a cell as description', {{'Dev A'}}
    'two rows of text', {['Dev A'; 'Dev B']}
    'unknown name', {'Dev A', 'Speed', 9600}
    'a name without value', {'Dev A', 'BaudRate'}
    'a number where a name goes', {'Dev A', 9600, 8}
    'baud rate 0', {'Dev A', 0}
    'baud rate 1.5', {'Dev A', 1.5}
    'baud rate NaN', {'Dev A', NaN}
    'baud rate as text', {'Dev A', 'BaudRate', '9600'}
    'data bits 6', {'Dev A', 'DataBits', 6}
    'stop bits 1.5', {'Dev A', 'StopBits', 1.5}
    'parity "high"', {'Dev A', 'Parity', 'high'}
    'flow control "rts"', {'Dev A', 'FlowControl', 'rts'}
    'negative Timeout', {'Dev A', 'Timeout', -1}
    'Timeout NaN', {'Dev A', 'Timeout', NaN}
    'Timeout [1 2]', {'Dev A', 'Timeout', [1 2]}
    'byte order "middle"', {'Dev A', 'ByteOrder', 'middle-endian'}
    'a numeric Tag', {'Dev A', 'Tag', 7}
    'complex baud rate', {'Dev A', 9600 + 1i}
  };
  sim_setup('d2xx', {'Dev A'});
  for k = 1:rows (cases)
    [name, args] = cases{k,:};
    ftdisim ('d2xx', 'clearlog');
    transcript ('start');
    id = raised (@() uartport (args{:}));
    t = transcript ('stop');
    expect ([name ': identifier'], id, 'uartport:invalidValue');
    expect ([name ': nothing printed'], t, cell (0, 2));
    expect ([name ': no driver call'], ftdisim ('d2xx', 'log'), cell (0, 1));
  endfor
endfunction

function not_found_and_not_attached ()
  sim_setup('d2xx', {'Dev A', struct('Held', true), 'Dev B'});
  transcript ('start');
  [id, msg] = raised (@() uartport ('Dev C'));
  t = transcript ('stop');
  expect ('not found: identifier', id, 'uartport:notFound');
  expect ('not found: nothing printed', t, cell (0, 2));
  expect ('not found: names what is listed', ! isempty (strfind (msg, "'Dev A', 'Dev B'")), true);
  expect ('not found: counts the blocked entry', ! isempty (strfind (msg, '1 blocked entry')), true);
  expect ('not found: points to the README', ! isempty (strfind (msg, 'Troubleshooting in the README')), true);
  expect ('not found: nothing opened', count_calls ('FT_Open'), 0);

  sim_setup('d2xx', {});
  [id, msg] = raised (@() uartport ('Dev A'));
  expect ('no device: identifier', id, 'uartport:notFound');
  expect ('no device: says none is listed', ! isempty (strfind (msg, 'lists 0 entries')), true);

  ## Listed, but the open fails: uartattach prints its recovery attempt.
  sim_setup('d2xx', {'Dev A'}, 'fail', {{'FT_Open', 3}});
  transcript ('start');
  id = raised (@() uartport ('Dev A'));
  t = transcript ('stop');
  expect ('open fails: identifier', id, 'uartport:notAttached');
  expect ('open fails: uartattach printed its listing', ! isempty (strfind (t{1,2}, 'Connection failed!')), true);
  expect_clean ('open fails');
endfunction

function asked_at_the_prompt ()
  global PROMPT
  cases = {
    'answer 2', {2}, 'Dev B', ''
    'answer 0', {0}, '', 'uartport:notAttached'
    'Enter alone', {[]}, '', 'uartport:notAttached'
    'beyond the list', {7}, '', 'uartport:notAttached'
  };
  for k = 1:rows (cases)
    [name, answers, desc, id] = cases{k,:};
    sim_setup('d2xx', {'Dev A', 'Dev B'});
    PROMPT = struct ('answers', {answers}, 'prompts', {{}}, 'pending', []);
    transcript ('start');
    try
      s = uartport ();
      got = '';
    catch err
      got = err.identifier;
    end_try_catch
    transcript ('stop');
    expect ([name ': error'], got, id);
    expect ([name ': asked once'], numel (PROMPT.prompts), 1);
    if (isempty (id))
      expect ([name ': attached'], {s.Description, s.IsOpen}, {desc, true});
      delete (s);
    endif
    expect_clean (name);
  endfor
endfunction

function refused_configuration ()
  ## function failing, status, error
  cases = {
    'FT_SetBaudRate', 7, 'uartport:invalidValue'
    'FT_SetDataCharacteristics', 6, 'uartport:invalidValue'
    'FT_SetFlowControl', 16, 'uartport:invalidValue'
    'FT_SetFlowControl', 4, 'uartport:driverError'
    'FT_SetTimeouts', 4, 'uartport:driverError'
  };
  for k = 1:rows (cases)
    [fn, status, id] = cases{k,:};
    name = sprintf ('%s answering %d after the attach', fn, status);
    ## uartattach's own set-up calls FT_SetBaudRate and FT_SetDataCharacteristics
    ## once; the object's call is the second.
    nth = 1 + any (strcmp (fn, {'FT_SetBaudRate', 'FT_SetDataCharacteristics'}));
    sim_setup('d2xx', {'Dev A'}, 'fail', {{fn, status, nth}});
    transcript ('start');
    [got, msg] = raised (@() uartport ('Dev A', 'FlowControl', 'hardware'));
    transcript ('stop');
    expect ([name ': error'], got, id);
    expect ([name ': names the function'], ! isempty (strfind (msg, fn)), true);
    expect_clean (name);
  endfor
endfunction

function settings ()
  ## property, new value, what it reads back, the line field and its value
  cases = {
    'BaudRate', 921600, 921600, 'BaudRate', 921600
    'DataBits', 7, 7, 'DataBits', 7
    'StopBits', 2, 2, 'StopBits', 2
    'Parity', 'ODD', 'odd', 'Parity', 1
    'Parity', 'space', 'space', 'Parity', 4
    'FlowControl', 'software', 'software', 'FlowControl', 1024
    'FlowControl', 'hardware', 'hardware', 'FlowControl', 256
  };
  s = loopback ();
  for k = 1:rows (cases)
    [prop, value, shown, field, driver_value] = cases{k,:};
    s.(prop) = value;
    line = ftdisim ('d2xx', 'line', 1);
    expect (sprintf ('%s = %s: reads back', prop, num2str (value)), s.(prop), shown);
    expect (sprintf ('%s = %s: reached the driver', prop, num2str (value)), line.(field), driver_value);
  endfor
  s.Timeout = 2.5;
  s.ByteOrder = 'Big-Endian';
  expect ('Timeout and ByteOrder', {s.Timeout, s.ByteOrder}, {2.5, 'big-endian'});

  ## Refused by the object or by the driver: nothing changes.
  bad = {
    'BaudRate', -5, 'uartport:invalidValue'
    'BaudRate', 'fast', 'uartport:invalidValue'
    'BaudRate', 20e6, 'uartport:invalidValue'   # the driver refuses it(7)
    'DataBits', 9, 'uartport:invalidValue'
    'Parity', 3, 'uartport:invalidValue'
    'Timeout', -0.1, 'uartport:invalidValue'
    'ByteOrder', 1, 'uartport:invalidValue'
    'Tag', 5, 'uartport:invalidValue'
  };
  for k = 1:rows (bad)
    [prop, value, id] = bad{k,:};
    before = s.(prop);
    line_before = ftdisim ('d2xx', 'line', 1);
    expect_raises (sprintf ('%s = %s', prop, num2str (value)), @() set_property (s, prop, value), id);
    expect (sprintf ('%s = %s: unchanged', prop, num2str (value)), s.(prop), before);
    expect (sprintf ('%s = %s: line unchanged', prop, num2str (value)), ftdisim ('d2xx', 'line', 1), line_before);
  endfor
  ## Read-only properties.
  for prop = {'Description', 'Handle', 'IsOpen', 'NumBytesAvailable', 'NumBytesWritten', 'Terminator'}
    [~, msg] = raised (@() set_property (s, prop{1}, 1));
    expect (['read-only ' prop{1}], isempty (msg), false);
  endfor
  delete (s);
endfunction

function set_property (s, prop, value)
  s.(prop) = value;
endfunction

function datatypes_and_byte_orders ()
  ## datatype, values, bytes on the wire little-endian
  cases = {
    'uint8', uint8([0 1 255]), uint8([0 1 255])
    'int8', int8([-128 -1 127]), uint8([128 255 127])
    'uint16', uint16([1 258 65535]), uint8([1 0 2 1 255 255])
    'int16', int16([-2 300]), uint8([254 255 44 1])
    'uint32', uint32([1 4294967295]), uint8([1 0 0 0 255 255 255 255])
    'int32', int32([-1 16909060]), uint8([255 255 255 255 4 3 2 1])
    'uint64', uint64([18446744073709551615 1]), uint8([255 255 255 255 255 255 255 255 1 0 0 0 0 0 0 0])
    'int64', int64([-9223372036854775808 2]), uint8([0 0 0 0 0 0 0 128 2 0 0 0 0 0 0 0])
    'single', single([1.5 -0]), uint8([0 0 192 63 0 0 0 128])
    'double', [1 -2.25], uint8([0 0 0 0 0 0 240 63 0 0 0 0 0 0 2 192])
    'char', 'Hi!', uint8('Hi!')
    'string', ['a' 0 'b'], uint8([97 0 98])
  };
  s = loopback ();
  for order = {'little-endian', 'big-endian'}
    s.ByteOrder = order{1};
    for k = 1:rows (cases)
      [type, values, wire] = cases{k,:};
      label = sprintf ('%s, %s', type, order{1});
      size_of = numel (wire) / numel (values);
      if (strcmp (order{1}, 'big-endian'))
        wire = reshape (flipud (reshape (wire, size_of, [])), 1, []);
      endif
      n = write (s, values, type);
      expect ([label ': bytes written'], n, numel (wire));
      expect ([label ': on the wire'], ftdisim ('d2xx', 'tx', 1), wire);
      back = read (s, numel (values), type);
      expect ([label ': read back'], back, values);
      expect ([label ': class'], class (back), class (values));
    endfor
  endfor
  s.ByteOrder = 'little-endian';
  ## A matrix goes column-major; data of another class is converted.
  write (s, [1 3; 2 4]);
  expect ('matrix: column-major', ftdisim ('d2xx', 'tx', 1), uint8 ([1 2 3 4]));
  expect ('matrix: read as a row', read (s, 4), uint8 ([1 2 3 4]));
  write (s, [1000 70000], 'uint32');
  expect ('doubles as uint32', read (s, 2, 'uint32'), uint32 ([1000 70000]));
  write (s, true (1, 2));
  expect ('logicals as uint8', read (s, 2), uint8 ([1 1]));
  write (s, int8 ([-1 5]), 'int16');
  expect ('int8 as int16', read (s, 2, 'int16'), int16 ([-1 5]));
  write (s, char ([200 65]));
  expect ('char codes above 127 as uint8', read (s, 2), uint8 ([200 65]));
  ## Empty data writes nothing; empty results are 1x0 of their class.
  expect ('empty write', write (s, []), 0);
  for k = 1:rows (cases)
    type = cases{k,1};
    empty = read (s, 0, type);
    expect (['empty ' type], {size(empty), class(empty)}, {[1 0], class(cases{k,2})});
  endfor
  delete (s);
endfunction

function values_that_do_not_fit ()
  cases = {
    'uint8 256', 256, 'uint8'
    'uint8 -1', -1, 'uint8'
    'uint8 1.5', 1.5, 'uint8'
    'uint8 NaN', NaN, 'uint8'
    'int8 128', 128, 'int8'
    'int16 -32769', -32769, 'int16'
    'uint32 2^32', 2^32, 'uint32'
    'uint64 2^64', 2^64, 'uint64'
    'uint64 from int64 -1', int64(-1), 'uint64'
    'int64 from uint64 2^63', uint64(9223372036854775808), 'int64'
    'int32 Inf', Inf, 'int32'
    'single 1e39', 1e39, 'single'
    'char 300', 300, 'char'
    'one bad value among good', [1 2 300], 'uint8'
    'complex', 1 + 2i, 'uint8'
    'a cell', {1}, 'uint8'
    'a struct', struct('a', 1), 'uint8'
    'a sparse matrix', sparse([1 0 2]), 'uint8'
    'a function handle', @sin, 'uint8'
    'unknown datatype', 1, 'uint9'
    'datatype as number', 1, 8
  };
  s = loopback ();
  for k = 1:rows (cases)
    [name, data, type] = cases{k,:};
    expect_raises (name, @() write (s, data, type), 'uartport:invalidValue');
    expect ([name ': nothing sent'], ftdisim ('d2xx', 'tx', 1), zeros (1, 0, 'uint8'));
  endfor
  expect ('values that fit: NaN and Inf as double', write (s, [NaN Inf], 'double'), 16);
  delete (s);
endfunction

function counts ()
  s = loopback ();
  bad = {NaN, Inf, 1.5, -1, {1}, 'a', [1 2], 1 + 1i, [], 2^60};
  for k = 1:numel (bad)
    label = sprintf ('count %s', disp (bad{k}));
    expect_raises (label, @() read (s, bad{k}), 'uartport:invalidValue');
  endfor
  expect ('count as an integer class', read (s, uint8 (0)), zeros (1, 0, 'uint8'));
  expect ('read needs no count', class (read (s)), 'uint8');
  delete (s);
endfunction

function timeouts ()
  ## Nothing comes: each read waits about its Timeout, returns what arrived.
  cases = {
    'read', 0.3
    'read with Timeout 0', 0
  };
  sim_setup('d2xx', {'Dev A'});
  s = attached ('Dev A');
  for k = 1:rows (cases)
    [name, timeout] = cases{k,:};
    s.Timeout = timeout;
    ftdisim ('d2xx', 'rx', 1, uint8 ([1 2 3]));
    tic;
    [data, id] = warned (@() read (s, 2, 'uint16'));
    took = toc;
    expect ([name ': whole values only'], data, uint16 (513));
    expect ([name ': warns'], id, 'uartport:timeout');
    expect ([name ': took about the Timeout'], took >= timeout - 0.01 && took < timeout + 0.5, true);
    expect ([name ': the odd byte waits'], read (s, 1), uint8 (3));
  endfor
  ## Bytes that come later within the Timeout are waited for; Inf waits.
  s.Timeout = 2;
  ftdisim ('d2xx', 'rx', 1, uint8 ([7 8]), 0.2);
  tic;
  data = read (s, 2);
  expect ('later bytes: arrived', {data, toc > 0.15}, {uint8([7 8]), true});
  s.Timeout = Inf;
  ftdisim ('d2xx', 'rx', 1, uint8 (9), 0.2);
  expect ('Timeout Inf: waits until it arrives', read (s, 1), uint8 (9));
  ## Timeout 0 takes what is there at once.
  s.Timeout = 0;
  ftdisim ('d2xx', 'rx', 1, uint8 (1:5));
  tic;
  expect ('Timeout 0: what is there', read (s, 5), uint8 (1:5));
  expect ('Timeout 0: at once', toc < 0.2, true);
  ## A write that the line cannot take in time: hardware flow with CTS low.
  s.Timeout = 0.3;
  s.FlowControl = 'hardware';
  ftdisim ('d2xx', 'pins', 1, struct ('ClearToSend', false));
  [n, id] = warned (@() write (s, zeros (1, 4096, 'uint8')));
  expect ('stalled write: fewer bytes', n < 4096, true);
  expect ('stalled write: warns', id, 'uartport:timeout');
  expect ('stalled write: counted', s.NumBytesWritten, n);
  ## The driver is never told to wait forever.
  given = regexp (strjoin (ftdisim ('d2xx', 'log')', ' '), 'FT_SetTimeouts\(0x[0-9a-f]+,(\d+),(\d+)\)', 'tokens');
  given = str2double ([given{:}]);
  expect ('timeouts were set', isempty (given), false);
  expect ('never a 0 ms timeout', any (given == 0), false);
  expect ('waits of 50 ms or less', all (given <= 50), true);
  delete (s);
endfunction

function nothing_is_lost ()
  ## Bytes of an incomplete element, and what follows a terminator, come out
  ## of the next read, in order.
  s = loopback ('Timeout', 0.1);
  write (s, uint8 ([1 2 3 10 4 5]));
  expect ('partial element: the whole ones', read (s, 1, 'uint16'), uint16 (513));
  expect ('partial element: then the rest', read (s, 4), uint8 ([3 10 4 5]));
  write (s, ['ab' 10 'cd']);
  expect ('after a line', readline (s), 'ab');
  expect ('after a line: the rest', read (s, 2, 'char'), 'cd');
  expect ('available counts what the object holds', write (s, uint8 ([1 2 3])), 3);
  data = read (s, 1, 'uint16');
  expect ('available: held and queued', s.NumBytesAvailable, 1);
  delete (s);
endfunction

function lines ()
  ## read terminator, write terminator, what the line carries
  cases = {
    'LF', 'LF', "one\n", 'one'
    'CR', 'CR', "two\r", 'two'
    'CR/LF', 'CR/LF', "three\r\n", 'three'
    0, 0, ['four' 0], 'four'
    59, 'LF', 'five;', 'five'
  };
  s = loopback ('Timeout', 0.2);
  for k = 1:rows (cases)
    [r, w, wire, text] = cases{k,:};
    label = sprintf ('terminator %s', num2str (r));
    configureTerminator (s, r);
    ftdisim ('d2xx', 'loopback', 1, false);
    ftdisim ('d2xx', 'rx', 1, [wire 'rest']);
    expect ([label ': readline'], readline (s), text);
    expect ([label ': Terminator'], s.Terminator, r);
    flush (s, 'input');
    ftdisim ('d2xx', 'tx', 1);
    writeline (s, text);
    expect ([label ': writeline'], char (ftdisim ('d2xx', 'tx', 1)), wire);
  endfor
  configureTerminator (s, 'CR', 10);
  expect ('two terminators', s.Terminator, {'CR', 10});
  writeline (s, 'x');
  expect ('two terminators: write', ftdisim ('d2xx', 'tx', 1), uint8 ([120 10]));
  configureTerminator (s, 'LF');
  ## The terminator split over two arrivals, and a line that never ends.
  configureTerminator (s, 'CR/LF');
  ftdisim ('d2xx', 'rx', 1, "ab\r");
  ftdisim ('d2xx', 'rx', 1, "\ncd", 0.05);
  expect ('split terminator', readline (s), 'ab');
  [line, id] = warned (@() readline (s));
  expect ('no terminator: the partial line', line, 'cd');
  expect ('no terminator: warns', id, 'uartport:timeout');
  expect ('nothing at all: empty', readline (s), char (zeros (1, 0)));
  bad = {{'LFCR'}, {256}, {-1}, {1.5}, {{'LF'}}, {'LF', 'XX'}, {}};
  for k = 1:numel (bad)
    expect_raises (sprintf ('terminator argument %d', k), @() configureTerminator (s, bad{k}{:}), 'uartport:invalidValue');
  endfor
  expect ('refused terminators change nothing', s.Terminator, 'CR/LF');
  expect_raises ('writeline of a number', @() writeline (s, 5), 'uartport:invalidValue');
  expect_raises ('writeline of two rows', @() writeline (s, ['ab'; 'cd']), 'uartport:invalidValue');
  delete (s);
endfunction

function flushing ()
  s = loopback ('Timeout', 0.1);
  write (s, uint8 (1:4));
  read (s, 1, 'uint16');   # holds nothing; two bytes wait in the driver
  read (s, 1);             # one waits
  cases = {
    'input', {'input'}, 1
    'output', {'output'}, 2
    'both', {}, 3
  };
  for k = 1:rows (cases)
    [name, args, mask] = cases{k,:};
    ftdisim ('d2xx', 'clearlog');
    flush (s, args{:});
    expect ([name ': purge'], ftdisim ('d2xx', 'log'), {sprintf('FT_Purge(0x1000,%d)=0', mask)});
  endfor
  expect ('flushed input is gone', s.NumBytesAvailable, 0);
  expect ('flush keeps NumBytesWritten', s.NumBytesWritten, 4);
  expect_raises ('flush of "sideways"', @() flush (s, 'sideways'), 'uartport:invalidValue');
  delete (s);
endfunction

function pins ()
  s = loopback ();
  names = {'ClearToSend', 'DataSetReady', 'CarrierDetect', 'RingIndicator'};
  for k = 1:numel (names)
    given = cell2struct (num2cell ((1:4) == k), names, 2);
    ftdisim ('d2xx', 'pins', 1, given);
    expect (['pin ' names{k}], getpinstatus (s), cell2struct (num2cell ((1:4) == k), names, 2));
  endfor
  cases = {@setRTS, 'RTS'; @setDTR, 'DTR'};
  for k = 1:rows (cases)
    [fn, field] = cases{k,:};
    fn (s, true);
    line = ftdisim ('d2xx', 'line', 1);
    expect ([field ' set'], line.(field), true);
    fn (s, false);
    line = ftdisim ('d2xx', 'line', 1);
    expect ([field ' cleared'], line.(field), false);
    expect_raises ([field ' of 2'], @() fn (s, 2), 'uartport:invalidValue');
    expect_raises ([field ' of text'], @() fn (s, 'on'), 'uartport:invalidValue');
  endfor
  delete (s);
endfunction

function counters ()
  s = loopback ('Timeout', 0.1);
  write (s, uint8 (1:10));
  write (s, 1:3, 'uint16');
  expect ('written', s.NumBytesWritten, 16);
  expect ('available', s.NumBytesAvailable, 16);
  read (s, 16);
  expect ('available after the read', s.NumBytesAvailable, 0);
  delete (s);
  expect ('written after delete', s.NumBytesWritten, 16);
  expect ('available after delete', s.NumBytesAvailable, 0);
endfunction

function closing ()
  sim_setup('d2xx', {'Dev A'});
  s = attached ('Dev A', 'Tag', 'kept');
  ftdisim ('d2xx', 'clearlog');
  delete (s);
  expect ('delete closes', ftdisim ('d2xx', 'log'), {'FT_Close(0x1000)=0'});
  delete (s);
  expect ('a second delete is harmless', ftdisim ('d2xx', 'log'), {'FT_Close(0x1000)=0'});
  methods = {
    'write', @() write(s, 1)
    'read', @() read(s, 1)
    'read now', @() read(s)
    'readline', @() readline(s)
    'writeline', @() writeline(s, 'x')
    'configureTerminator', @() configureTerminator(s, 'CR')
    'flush', @() flush(s)
    'getpinstatus', @() getpinstatus(s)
    'setRTS', @() setRTS(s, true)
    'setDTR', @() setDTR(s, true)
    'BaudRate', @() set_property(s, 'BaudRate', 9600)
    'Timeout', @() set_property(s, 'Timeout', 1)
  };
  for k = 1:rows (methods)
    expect_raises (['after delete: ' methods{k,1}], methods{k,2}, 'uartport:closed');
  endfor
  expect ('after delete: properties', {s.IsOpen, s.Description, s.Tag, s.BaudRate, s.Handle}, ...
          {false, 'Dev A', 'kept', 230400, 4096});
  text = evalc ('disp (s)');
  expect ('after delete: disp', ! isempty (strfind (text, 'not open')), true);
  expect ('after delete: nothing more reached the driver', ftdisim ('d2xx', 'log'), {'FT_Close(0x1000)=0'});
  ## clear closes too.
  s = attached ('Dev A');
  clear s
  expect_clean ('clear');
  ## A made-up number never reaches the driver.
  s = attached ('Dev A');
  ftdisim ('d2xx', 'clearlog');
  for number = {12345, 12344, 0, 1, -3, 'x', []}
    got = raised (@() ftdiport_io ('write', number{1}, 1));
    expect (sprintf ('made-up number %s', disp (number{1})), any (strcmp (got, {'uartport:closed', 'uartport:staleHandle', 'fifoport:closed'})), true);
  endfor
  expect ('made-up numbers: no driver call', ftdisim ('d2xx', 'log'), cell (0, 1));
  delete (s);
endfunction

function stale_handles ()
  ## Who attaches the device again behind the first object's back, with the
  ## driver handing out a new handle value, or the same one again.
  cases = {
    'a second uartport', @() attached('Dev A'), []
    'uartattach', @() quiet_uartattach('Dev A'), []
    'a second uartport, same handle value', @() attached('Dev A'), uint64([4096 4096])
    'uartattach after clear mex, same value', @() clear_then_attach(), uint64([4096 4096])
  };
  for k = 1:rows (cases)
    [name, again, handles] = cases{k,:};
    if (isempty (handles))
      sim_setup('d2xx', {'Dev A'});
    else
      sim_setup('d2xx', {'Dev A'}, 'handles', handles);
    endif
    first = attached ('Dev A');
    second = again ();
    ftdisim ('d2xx', 'clearlog');
    expect_raises ([name ': write'], @() write (first, 1), 'uartport:staleHandle');
    expect_raises ([name ': read'], @() read (first, 1), 'uartport:staleHandle');
    expect_raises ([name ': NumBytesAvailable'], @() first.NumBytesAvailable, 'uartport:staleHandle');
    expect ([name ': IsOpen'], first.IsOpen, false);
    expect ([name ': nothing reached the driver'], ftdisim ('d2xx', 'log'), cell (0, 1));
    delete (first);
    expect ([name ': deleting the stale object closes nothing'], ftdisim ('d2xx', 'log'), cell (0, 1));
    if (isobject (second))
      expect ([name ': the newer object works'], write (second, 1), 1);
      delete (second);
    endif
    expect ([name ': no misuse'], ftdisim ('d2xx', 'misuse'), cell (0, 1));
  endfor
  ## clear mex keeps the objects working.
  sim_setup ('d2xx', {'Dev A'});
  ftdisim ('d2xx', 'loopback', 1, true);
  s = attached ('Dev A');
  write (s, uint8 ([1 2 3]));
  read (s, 1);
  clear mex
  expect ('after clear mex: what the object held', read (s, 2), uint8 ([2 3]));
  expect ('after clear mex: open', s.IsOpen, true);
  delete (s);
  expect_clean ('after clear mex');
endfunction

function h = quiet_uartattach (desc)
  transcript ('start');
  [ok, h, d] = uartattach (desc);
  transcript ('stop');
endfunction

function h = clear_then_attach ()
  clear mex
  h = quiet_uartattach ('Dev A');
endfunction

function driver_failures ()
  ## Every data function failing with a few statuses, on a call that uses it.
  calls = {
    'FT_Write', @(s) write(s, 1)
    'FT_Read', @(s) read(s, 1)
    'FT_GetQueueStatus', @(s) s.NumBytesAvailable
    'FT_GetQueueStatus', @(s) readline(s)
    'FT_Purge', @(s) flush(s)
    'FT_SetFlowControl', @(s) set_property(s, 'FlowControl', 'hardware')
    'FT_SetBaudRate', @(s) set_property(s, 'BaudRate', 9600)
    'FT_SetDataCharacteristics', @(s) set_property(s, 'DataBits', 7)
    'FT_SetRts', @(s) setRTS(s, true)
    'FT_ClrRts', @(s) setRTS(s, false)
    'FT_SetDtr', @(s) setDTR(s, true)
    'FT_ClrDtr', @(s) setDTR(s, false)
    'FT_GetModemStatus', @(s) getpinstatus(s)
    'FT_SetTimeouts', @(s) set_timeout_and_read(s)
  };
  statuses = {1, 'FT_INVALID_HANDLE'; 4, 'FT_IO_ERROR'; 18, 'FT_OTHER_ERROR'};
  for k = 1:rows (calls)
    [fn, call] = calls{k,:};
    for j = 1:rows (statuses)
      [status, status_name] = statuses{j,:};
      label = sprintf ('%s answering %d', fn, status);
      s = loopback ('Timeout', 0.1);
      ftdisim ('d2xx', 'fail', fn, status);
      [id, msg] = raised (@() call (s));
      expected_id = 'uartport:driverError';
      if (any (status == [6 7 16]))
        expected_id = 'uartport:invalidValue';
      endif
      expect ([label ': error'], id, expected_id);
      expect ([label ': message'], msg, sprintf ('uartport: %s: status %d (%s)', fn, status, status_name));
      ftdisim ('d2xx', 'fail', fn, 0);
      delete (s);
      expect_clean (label);
    endfor
  endfor
endfunction

function set_timeout_and_read (s)
  s.Timeout = 0.01;   # the last slice of a read is shorter: a new timeout
  read (s, 1);
endfunction

function unplug_and_replug ()
  s = loopback ('Timeout', 0.2);
  ftdisim ('d2xx', 'remove', 1);
  cases = {'write', @() write(s, 1); 'read', @() read(s, 1); 'NumBytesAvailable', @() s.NumBytesAvailable};
  for k = 1:rows (cases)
    [id, msg] = raised (cases{k,2});
    expect (['unplugged: ' cases{k,1}], {id, ! isempty(strfind (msg, 'status 4 (FT_IO_ERROR)'))}, ...
            {'uartport:driverError', true});
  endfor
  delete (s);
  expect_clean ('unplugged, then deleted');
  ftdisim ('d2xx', 'add', 'Dev A');
  ftdisim ('d2xx', 'loopback', 1, true);
  s = attached ('Dev A', 'Timeout', 0.2);
  write (s, uint8 (5));
  expect ('replugged: works', read (s, 1), uint8 (5));
  delete (s);
endfunction

function device_list ()
  sim_setup('d2xx', {struct('Description', 'Dev A', 'SerialNumber', 'A1', 'Type', 5, 'ID', 67330049, 'LocId', 17), ...
                      struct('Held', true)});
  transcript ('start');
  list = uartportlist ();
  t = transcript ('stop');
  expect ('list: nothing printed', t, cell (0, 2));
  expected = struct ('Description', {'Dev A', ''}, 'SerialNumber', {'A1', ''}, 'Type', {5, 0}, ...
                     'ID', {67330049, 0}, 'LocId', {17, 0}, 'IsOpen', {false, true});
  expect ('list: entries', list, expected);
  s = attached ('Dev A');
  list = uartportlist ();
  expect ('list: an open device', list(1).IsOpen, true);
  expect ('list: nothing opened', count_calls ('FT_Open'), 1);
  delete (s);
  sim_setup('d2xx', {});
  list = uartportlist ();
  expect ('list: none', {size(list), fieldnames(list)'}, ...
          {[0 0], {'Description', 'SerialNumber', 'Type', 'ID', 'LocId', 'IsOpen'}});
  ftdisim ('d2xx', 'fail', 'FT_CreateDeviceInfoList', 4);
  expect_raises ('list: driver fails', @() uartportlist (), 'uartport:driverError');
endfunction

function missing_data_functions ()
  ## A D2XX library with only the functions uartattach calls: uartattach
  ## works, uartport says which function is missing.
  moddir = fileparts (which ('uartattach'));
  fixture = getenv ('ATTACH_ONLY_D2XX');
  if (isempty (fixture))
    expect ('the attach-only D2XX library is given (ATTACH_ONLY_D2XX)', false, true);
    return;
  endif
  folder = tempname ();
  mkdir (folder);
  cleanup = onCleanup (@() confirm_recursive_rmdir (false, 'local') || rmdir (folder, 's'));
  for f = {'uartattach.mex', 'ftdiport_io.mex', 'libftdi_hub.so', 'uartport.m', '@ftdiport'}
    copyfile (fullfile (moddir, f{1}), fullfile (folder, f{1}));
  endfor
  copyfile (fixture, fullfile (folder, 'libd2xx_sim.so'));
  code = sprintf (['addpath (''%s''); [ok, h, d] = uartattach (''Dev A''); printf (''ATTACHED %%d\\n'', ok); ' ...
                   'try, uartport (''Dev A''); catch e, printf (''%%s|%%s\\n'', e.identifier, e.message); end'], folder);
  [status, output] = system (sprintf ('octave-cli -q -H --norc --eval "%s" 2>&1', strrep (code, '"', '\"')));
  expect ('attach-only driver: uartattach attaches', ! isempty (strfind (output, 'ATTACHED 1')), true);
  expect ('attach-only driver: uartport names the function', ...
          ! isempty (regexp (output, 'uartport:driverUnavailable\|.*lacks the driver function: FT_SetTimeouts', 'once')), true);
endfunction
