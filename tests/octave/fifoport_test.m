function fifoport_test ()
  ## fifoport on the simulated D3XX driver and its FIFO far end: making
  ## objects, channels, datatypes and byte orders, both kinds of timeout and
  ## the abort after them, the chip configuration, closing, stale handles,
  ## driver failures and unplugging.
  warning ('off', 'fifoport:timeout');
  making_objects ();
  arguments_checked_first ();
  not_found ();
  channels ();
  datatypes_and_byte_orders ();
  values_and_counts ();
  timeouts ();
  large_transfers ();
  flushing ();
  configuration ();
  string_descriptors ();
  closing_and_stale ();
  driver_failures ();
  unplug ();
  device_list ();
endfunction

## --- fixtures -----------------------------------------------------------

function f = attached (varargin)
  f = quietly (@() fifoport (varargin{:}));
endfunction

function f = looped (varargin)
  ## One FT601, "FIFO A", its OUT pipes wired to its IN pipes.
  sim_setup('d3xx', {struct('Description', 'FIFO A', 'Type', 601)});
  for c = 1:4
    ftdisim ('d3xx', 'loopback', 1, true, c);
  endfor
  f = attached ('FIFO A', varargin{:});
endfunction

function expect_clean (label)
  expect ([label ': nothing left open'], ftdisim ('d3xx', 'open'), zeros (0, 1, 'uint64'));
  expect ([label ': no misuse'], ftdisim ('d3xx', 'misuse'), cell (0, 1));
endfunction

function calls = calls_of (name)
  log = ftdisim ('d3xx', 'log');
  calls = log(strncmp (log, [name '('], numel (name) + 1));
endfunction

function a = adler32 (bytes)
  ## Adler-32 of a byte row, in blocks that keep the sums exact in doubles.
  a = 1;
  b = 0;
  bytes = double (bytes(:));
  for start = 1:4096:numel (bytes)
    block = bytes(start:min (start + 4095, end));
    n = numel (block);
    b = mod (b + n * a + sum ((n:-1:1)' .* block), 65521);
    a = mod (a + sum (block), 65521);
  endfor
  a = b * 65536 + a;
endfunction

function v = counter_bytes (first, n)
  ## Bytes FIRST .. FIRST+N-1 of the 32-bit little-endian counter stream.
  words = uint32 (floor (first / 4):floor ((first + n - 1) / 4));
  bytes = typecast (words, 'uint8');
  offset = mod (first, 4);
  v = bytes(offset + (1:n));
endfunction

## --- cases ----------------------------------------------------------------

function making_objects ()
  cases = {
    'description only', {}, 1, 5, 'little-endian'
    'channel 3', {'Channel', 3}, 3, 5, 'little-endian'
    'names in any case', {'timeout', 0.25, 'BYTEORDER', 'big-endian'}, 1, 0.25, 'big-endian'
    'Timeout Inf', {'Timeout', Inf}, 1, Inf, 'little-endian'
  };
  for k = 1:rows (cases)
    [name, args, channel, timeout, order] = cases{k,:};
    sim_setup('d3xx', {'FIFO A'});
    f = attached ('FIFO A', args{:});
    expect ([name ': properties'], {f.Description, f.Handle, f.IsOpen, f.Channel, f.Timeout, f.ByteOrder}, ...
            {'FIFO A', 4096, true, channel, timeout, order});
    ## The driver's pipe timeouts follow the object's (0: none).
    ms = ifelse (isinf (timeout), 0, timeout * 1000);
    expect ([name ': pipe timeouts'], calls_of ('FT_SetPipeTimeout'), ...
            {sprintf('FT_SetPipeTimeout(0x1000,0x%02x,%d)=0', 1 + channel, ms); ...
             sprintf('FT_SetPipeTimeout(0x1000,0x%02x,%d)=0', 129 + channel, ms)});
    delete (f);
    expect_clean (name);
  endfor
endfunction

function arguments_checked_first ()
  cases = {
    'a number as description', {5}
    'channel 0', {'FIFO A', 'Channel', 0}
    'channel 5', {'FIFO A', 'Channel', 5}
    'channel 1.5', {'FIFO A', 'Channel', 1.5}
    'channel as text', {'FIFO A', 'Channel', '1'}
    'a baud rate', {'FIFO A', 9600}
    'a uartport setting', {'FIFO A', 'BaudRate', 9600}
    'negative Timeout', {'FIFO A', 'Timeout', -1}
    'no value', {'FIFO A', 'Timeout'}
  };
  sim_setup('d3xx', {'FIFO A'});
  for k = 1:rows (cases)
    [name, args] = cases{k,:};
    ftdisim ('d3xx', 'clearlog');
    transcript ('start');
    id = raised (@() fifoport (args{:}));
    t = transcript ('stop');
    expect ([name ': identifier'], id, 'fifoport:invalidValue');
    expect ([name ': nothing printed'], t, cell (0, 2));
    expect ([name ': no driver call'], ftdisim ('d3xx', 'log'), cell (0, 1));
  endfor
endfunction

function not_found ()
  sim_setup('d3xx', {'FIFO A', 'FIFO B'});
  transcript ('start');
  [id, msg] = raised (@() fifoport ('FIFO C'));
  t = transcript ('stop');
  expect ('not found: identifier', id, 'fifoport:notFound');
  expect ('not found: nothing printed', t, cell (0, 2));
  expect ('not found: lists what it saw', ! isempty (strfind (msg, "'FIFO A', 'FIFO B'")), true);
  sim_setup('d3xx', {'FIFO A'}, 'fail', {{'FT_Create', 3}});
  transcript ('start');
  id = raised (@() fifoport ('FIFO A'));
  transcript ('stop');
  expect ('open fails: identifier', id, 'fifoport:notAttached');
  expect_clean ('open fails');
endfunction

function channels ()
  ## Each channel moves data on its own pipes.
  for c = 1:4
    f = looped ('Channel', c, 'Timeout', 0.2);
    ftdisim ('d3xx', 'clearlog');
    write (f, uint8 (1:8));
    expect (sprintf ('channel %d: read back', c), read (f, 8), uint8 (1:8));
    pipes = regexp (ftdisim ('d3xx', 'log'), '^FT_(Write|Read)Pipe\(0x1000,(0x[0-9a-f]+)', 'tokens', 'once');
    pipes = cellfun (@(p) p{2}, pipes(! cellfun (@isempty, pipes)), 'UniformOutput', false);
    expect (sprintf ('channel %d: pipes', c), unique (pipes)', ...
            sort ({sprintf('0x%02x', 1 + c), sprintf('0x%02x', 129 + c)}));
    delete (f);
  endfor
  ## A chip configured with one channel has no pipes for channel 2.
  sim_setup('d3xx', {'FIFO A'}, 'config', struct('ChannelConfig', 2));
  f = attached ('FIFO A', 'Channel', 1);
  delete (f);
  expect_clean ('one-channel chip');
endfunction

function datatypes_and_byte_orders ()
  cases = {
    'uint8', uint8([0 255])
    'int8', int8([-128 127])
    'uint16', uint16([1 65535])
    'int16', int16([-32768 5])
    'uint32', uint32([4294967295 7])
    'int32', int32([-2147483648 9])
    'uint64', uint64([18446744073709551615 3])
    'int64', int64([-9223372036854775808 4])
    'single', single([-1.5 Inf])
    'double', [pi -0]
    'char', 'FIFO'
    'string', 'text'
  };
  f = looped ('Timeout', 0.2);
  for order = {'little-endian', 'big-endian'}
    f.ByteOrder = order{1};
    for k = 1:rows (cases)
      [type, values] = cases{k,:};
      label = sprintf ('%s, %s', type, order{1});
      n = write (f, values, type);
      bytes = read (f, n);       # the wire's bytes, as uint8
      wire = typecast (cast (values, ifelse (ischar (values), 'uint8', class (values))), 'uint8');
      size_of = n / numel (values);
      if (strcmp (order{1}, 'big-endian'))
        wire = reshape (flipud (reshape (wire, size_of, [])), 1, []);
      endif
      expect ([label ': on the wire'], bytes, wire);
      write (f, values, type);
      back = read (f, numel (values), type);
      expect ([label ': read back'], {back, class(back)}, {values, class(values)});
    endfor
  endfor
  delete (f);
endfunction

function values_and_counts ()
  f = looped ('Timeout', 0.1);
  bad_values = {{256}, {-1, 'uint16'}, {1.5, 'int32'}, {2^64, 'uint64'}, {{1}}, {1 + 2i}, {1, 'float'}};
  for k = 1:numel (bad_values)
    expect_raises (sprintf ('bad value %d', k), @() write (f, bad_values{k}{:}), 'fifoport:invalidValue');
  endfor
  expect ('bad values sent nothing', ftdisim ('d3xx', 'sink', 1).Count, 0);
  bad_counts = {NaN, Inf, 1.5, -1, {1}, 'x', [1 2]};
  for k = 1:numel (bad_counts)
    expect_raises (sprintf ('bad count %d', k), @() read (f, bad_counts{k}), 'fifoport:invalidValue');
  endfor
  expect_raises ('read needs a count', @() read (f), 'fifoport:invalidValue');
  empty = read (f, 0, 'single');
  expect ('empty read', {size(empty), class(empty)}, {[1 0], 'single'});
  delete (f);
endfunction

function timeouts ()
  ## The far end runs dry part way; either kind of timed-out read.
  for kind = {'status', 'short'}
    label = ['timeout answered as ' kind{1}];
    sim_setup('d3xx', {'FIFO A'});
    ftdisim ('d3xx', 'timeouts', 1, kind{1});
    ftdisim ('d3xx', 'source', 1, 'bytes', uint8 (1:10));
    f = attached ('FIFO A', 'Timeout', 0.3);
    tic;
    [data, id] = warned (@() read (f, 3, 'uint32'));
    took = toc;
    expect ([label ': whole values'], data, typecast (uint8 (1:8), 'uint32'));
    expect ([label ': warns'], id, 'fifoport:timeout');
    expect ([label ': about the Timeout'], took > 0.25 && took < 1.5, true);
    expect ([label ': the rest waits'], read (f, 2), uint8 ([9 10]));
    aborts = calls_of ('FT_AbortPipe');
    if (strcmp (kind{1}, 'status'))
      expect ([label ': the pipe was aborted'], any (strcmp (aborts, 'FT_AbortPipe(0x1000,0x82)=0')), true);
    endif
    ## The pipe is ready: the next read goes through, and nothing hung.
    ftdisim ('d3xx', 'source', 1, 'bytes', uint8 (11:12));
    expect ([label ': ready again'], read (f, 2), uint8 ([11 12]));
    delete (f);
    expect_clean (label);
  endfor
  ## A slow far end: the read takes its time but arrives whole.
  sim_setup('d3xx', {'FIFO A'});
  ftdisim ('d3xx', 'source', 1, 'counter');
  ftdisim ('d3xx', 'rate', 1, 4e6);
  f = attached ('FIFO A', 'Timeout', 5);
  tic;
  data = read (f, 2^20);
  expect ('slow far end: whole', data, counter_bytes (0, 2^20));
  expect ('slow far end: paced', toc > 0.15, true);
  ## A write the far end does not take in time.
  f.Timeout = 0.2;
  [n, id] = warned (@() write (f, zeros (1, 2^21, 'uint8')));
  expect ('slow sink: fewer bytes', n < 2^21 && n > 0, true);
  expect ('slow sink: warns', id, 'fifoport:timeout');
  expect ('slow sink: counted', {f.NumBytesWritten, ftdisim('d3xx', 'sink', 1).Count}, {n, n});
  ## Timeout 0 moves what moves at once; never a 0 ms wait for the driver.
  ftdisim ('d3xx', 'rate', 1, 0);
  f.Timeout = 0;
  expect ('Timeout 0: what is there', numel (read (f, 100)), 100);
  waits = regexp (ftdisim ('d3xx', 'log'), '^FT_(Read|Write)Pipe\(.*,(\d+)\)=', 'tokens', 'once');
  waits = cellfun (@(w) str2double (w{2}), waits(! cellfun (@isempty, waits)));
  expect ('never a 0 ms wait', any (waits == 0), false);
  delete (f);
  expect_clean ('timeouts');
endfunction

function large_transfers ()
  ## Split into driver calls of a bounded size; the sink's checksum checks
  ## what was written.
  f = looped ('Timeout', 5);
  ftdisim ('d3xx', 'loopback', 1, false);
  ftdisim ('d3xx', 'source', 1, 'counter');
  ftdisim ('d3xx', 'clearlog');
  data = read (f, 3 * 2^20 + 5);
  expect ('large read: the counter', data, counter_bytes (0, 3 * 2^20 + 5));
  sizes = regexp (calls_of ('FT_ReadPipe'), ',0x82,(\d+),', 'tokens', 'once');
  expect ('large read: bounded calls', max (cellfun (@(s) str2double (s{1}), sizes)) <= 2^20, true);
  block = uint8 (mod ((1:(2^21 + 3)) * 7, 256));
  expect ('large write: bytes', write (f, block), numel (block));
  sink = ftdisim ('d3xx', 'sink', 1);
  expect ('large write: the sink', {sink.Count, sink.Checksum}, {numel(block), adler32(block)});
  expect ('counts', {f.NumBytesRead, f.NumBytesWritten}, {3 * 2^20 + 5, numel(block)});
  delete (f);
  expect_clean ('large transfers');
endfunction

function flushing ()
  f = looped ('Timeout', 0.1);
  write (f, uint8 (1:9));
  read (f, 2, 'uint32');   # one byte is held
  ftdisim ('d3xx', 'clearlog');
  flush (f);
  expect ('flush: the IN pipe', ftdisim ('d3xx', 'log'), {'FT_FlushPipe(0x1000,0x82)=0'});
  expect ('flush: nothing held', numel (read (f, 1)), 0);
  expect_raises ('flush of the output', @() flush (f, 'output'), 'fifoport:invalidValue');
  delete (f);
endfunction

function configuration ()
  sim_setup('d3xx', {'FIFO A'});
  record = ftdisim ('d3xx', 'config');
  f = attached ('FIFO A');
  cfg = getConfiguration (f);
  classes = {'VendorID', 'uint16'; 'ProductID', 'uint16'; 'StringDescriptors', 'uint8';
             'bInterval', 'uint8'; 'PowerAttributes', 'uint8'; 'PowerConsumption', 'uint16';
             'Reserved2', 'uint8'; 'FIFOClock', 'uint8'; 'FIFOMode', 'uint8';
             'ChannelConfig', 'uint8'; 'OptionalFeatureSupport', 'uint16';
             'BatteryChargingGPIOConfig', 'uint8'; 'FlashEEPROMDetection', 'uint8';
             'MSIO_Control', 'uint32'; 'GPIO_Control', 'uint32'};
  for k = 1:rows (classes)
    [field, cls] = classes{k,:};
    expect (['configuration ' field], {class(cfg.(field)), double(cfg.(field))}, {cls, double(record.(field))});
  endfor
  expect ('configuration: descriptors size', size (cfg.StringDescriptors), [1 128]);
  ftdisim ('d3xx', 'fail', 'FT_GetChipConfiguration', 4);
  expect_raises ('configuration fails', @() getConfiguration (f), 'fifoport:driverError');
  expect ('configuration fails: the object stays open', f.IsOpen, true);
  delete (f);
endfunction

function bytes = descriptor (text)
  ## A USB string descriptor of TEXT (code points), UTF-16LE.
  units = [];
  for c = double (text)
    if (c >= 65536)
      c -= 65536;
      units(end+1:end+2) = [55296 + floor(c / 1024), 56320 + mod(c, 1024)];
    else
      units(end+1) = c;
    endif
  endfor
  bytes = [2 + 2 * numel(units), 3, reshape([mod(units, 256); floor(units / 256)], 1, [])];
endfunction

function string_descriptors ()
  ok = [descriptor('FTDI') descriptor([67 97 102 233]) descriptor('0123')];
  cases = {
    'three descriptors', ok, {'FTDI', ['Caf' char([195 169])], '0123'}
    'a character beyond the BMP', [descriptor('A') descriptor(128512) descriptor('B')], {'A', char([240 159 152 128]), 'B'}
    'wrong type', [descriptor('FTDI')(1) 4 descriptor('FTDI')(3:end) descriptor('x') descriptor('y')], {'', '', ''}
    'second malformed: odd length', [descriptor('FTDI') 5 3 65 0 66 descriptor('z')], {'FTDI', '', ''}
    'third runs past the field', [descriptor('FTDI') descriptor('B') 200 3 65 0], {'FTDI', 'B', ''}
    'a lone surrogate', [descriptor('FTDI') 4 3 0 216 descriptor('c')], {'FTDI', '', ''}
    'all zero', zeros(1, 128), {'', '', ''}
  };
  sim_setup('d3xx', {'FIFO A'});
  f = attached ('FIFO A');
  for k = 1:rows (cases)
    [name, bytes, texts] = cases{k,:};
    field = zeros (1, 128, 'uint8');
    field(1:min (128, numel (bytes))) = bytes(1:min (128, numel (bytes)));
    ftdisim ('d3xx', 'config', struct ('StringDescriptors', field));
    cfg = getConfiguration (f);
    expect ([name ': texts'], {cfg.Manufacturer, cfg.ProductDescription, cfg.SerialNumber}, texts);
  endfor
  ## A descriptor that fills the whole field to its last byte.
  full = [128 3 repmat([65 0], 1, 63)];
  ftdisim ('d3xx', 'config', struct ('StringDescriptors', uint8 (full)));
  cfg = getConfiguration (f);
  expect ('a full field', {cfg.Manufacturer, cfg.ProductDescription}, {repmat('A', 1, 63), ''});
  delete (f);
endfunction

function closing_and_stale ()
  sim_setup('d3xx', {'FIFO A'});
  f = attached ('FIFO A');
  ftdisim ('d3xx', 'clearlog');
  delete (f);
  delete (f);
  expect ('delete closes once', ftdisim ('d3xx', 'log'), {'FT_Close(0x1000)=0'});
  calls = {@() write(f, 1), @() read(f, 1), @() flush(f), @() getConfiguration(f)};
  for k = 1:numel (calls)
    expect_raises (sprintf ('after delete, call %d', k), calls{k}, 'fifoport:closed');
  endfor
  expect ('after delete: properties', {f.IsOpen, f.Channel, f.Description}, {false, 1, 'FIFO A'});
  ## fifoattach, or a second object, closes the first object's handle; also
  ## when the driver hands the same value out again.
  for handles = {[], uint64([4096 4096])}
    sim_setup('d3xx', {'FIFO A'}, 'handles', handles{1});
    first = attached ('FIFO A');
    transcript ('start');
    [ok, h, d] = fifoattach ('FIFO A');
    transcript ('stop');
    ftdisim ('d3xx', 'clearlog');
    expect_raises ('stale: write', @() write (first, 1), 'fifoport:staleHandle');
    expect_raises ('stale: read', @() read (first, 1), 'fifoport:staleHandle');
    delete (first);
    expect ('stale: nothing reached the driver', ftdisim ('d3xx', 'log'), cell (0, 1));
    expect ('stale: no misuse', ftdisim ('d3xx', 'misuse'), cell (0, 1));
  endfor
endfunction

function driver_failures ()
  calls = {
    'FT_ReadPipe', @(f) read(f, 4)
    'FT_WritePipe', @(f) write(f, 1:4)
    'FT_FlushPipe', @(f) flush(f)
    'FT_SetPipeTimeout', @(f) set_timeout(f, 1)
    'FT_GetChipConfiguration', @(f) getConfiguration(f)
  };
  statuses = {4, 'FT_IO_ERROR'; 27, 'FT_BUSY'; 32, 'FT_OTHER_ERROR'};
  for k = 1:rows (calls)
    [fn, call] = calls{k,:};
    for j = 1:rows (statuses)
      [status, status_name] = statuses{j,:};
      label = sprintf ('%s answering %d', fn, status);
      f = looped ('Timeout', 0.1);
      write (f, uint8 (1:4));
      ftdisim ('d3xx', 'fail', fn, status);
      [id, msg] = raised (@() call (f));
      ftdisim ('d3xx', 'fail', fn, 0);
      expect ([label ': error'], {id, msg}, {'fifoport:driverError', sprintf('fifoport: %s: status %d (%s)', fn, status, status_name)});
      ## A failed transfer leaves its pipe aborted and ready.
      if (any (strcmp (fn, {'FT_ReadPipe', 'FT_WritePipe'})))
        ftdisim ('d3xx', 'clearlog');
        write (f, uint8 (5));
        expect ([label ': pipe ready'], numel (read (f, 1)), 1);
      endif
      delete (f);
      expect_clean (label);
    endfor
  endfor
  ## The abort itself failing is reported, and tried again before the next transfer.
  f = looped ('Timeout', 0.1);
  ftdisim ('d3xx', 'fail', 'FT_ReadPipe', 4, 1);
  ftdisim ('d3xx', 'fail', 'FT_AbortPipe', 4, 1);
  [id, msg] = raised (@() read (f, 1));
  expect ('abort fails: reported', {id, msg}, {'fifoport:driverError', 'fifoport: FT_AbortPipe: status 4 (FT_IO_ERROR)'});
  write (f, uint8 (1));
  expect ('abort fails: tried again', numel (read (f, 1)), 1);
  delete (f);
  expect_clean ('abort fails');
endfunction

function set_timeout (f, v)
  f.Timeout = v;
endfunction

function unplug ()
  sim_setup('d3xx', {'FIFO A'});
  ftdisim ('d3xx', 'source', 1, 'counter');
  ftdisim ('d3xx', 'unplug', 1, 1000);
  f = attached ('FIFO A', 'Timeout', 1);
  [id, msg] = raised (@() read (f, 4000));
  expect ('unplug mid-stream', {id, msg}, {'fifoport:driverError', 'fifoport: FT_ReadPipe: status 30 (FT_DEVICE_NOT_CONNECTED)'});
  expect ('unplug: later calls too', raised (@() write (f, 1)), 'fifoport:driverError');
  delete (f);
  expect_clean ('unplugged, then deleted');
  ftdisim ('d3xx', 'add', 'FIFO A');
  ftdisim ('d3xx', 'source', 1, 'counter');
  f = attached ('FIFO A');
  expect ('replugged: works', read (f, 4), uint8 ([0 0 0 0]));
  delete (f);
endfunction

function device_list ()
  sim_setup('d3xx', {struct('Description', 'FIFO A', 'SerialNumber', '000000000001', 'Type', 601, 'ID', 67330079, 'LocId', 3), ...
                      struct('Description', 'FIFO B', 'Type', 600, 'Flags', 1)});
  transcript ('start');
  list = fifoportlist ();
  t = transcript ('stop');
  expect ('list: nothing printed', t, cell (0, 2));
  expect ('list: entries', list, struct ('Description', {'FIFO A', 'FIFO B'}, 'SerialNumber', {'000000000001', ''}, ...
                                         'Type', {601, 600}, 'ID', {67330079, 0}, 'LocId', {3, 0}, 'IsOpen', {false, true}));
  expect ('list: nothing opened', numel (calls_of ('FT_Create')), 0);
  sim_setup('d3xx', {});
  expect ('list: none', size (fifoportlist ()), [0 0]);
endfunction
