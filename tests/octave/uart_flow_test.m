function uart_flow_test ()
  ## uartattach on the simulated D2XX driver: what each call prints on which
  ## channel, the driver calls it makes, and its three results.
  listing_and_match ();
  prompt_answers ();
  answers_without_value ();
  device_found_open ();
  open_failures ();
  line_setup_failures ();
  version_words ();
  unreadable_lists ();
  description_fields ();
  handle_values ();
  argument_errors ();
  prompt_errors_propagate ();
  output_is_flushed ();
endfunction

## --- text the module prints -------------------------------------------

function t = count_line (n)
  t = sprintf ("Number of FT2 devices found: %d \n", n);
endfunction

function t = attached_lines (number, version)
  if (nargin < 2)
    version = "2.12.28";
  endif
  t = sprintf ("Connecting to device %d... \nConnected!\n\t Driver version = %s\n",
               number, version);
endfunction

function log = setup_log (h)
  log = {sprintf("FT_GetDriverVersion(%s)=0", h);
         sprintf("FT_SetLatencyTimer(%s,2)=0", h);
         sprintf("FT_GetLatencyTimer(%s)=0", h);
         sprintf("FT_ResetDevice(%s)=0", h);
         sprintf("FT_SetBaudRate(%s,230400)=0", h);
         sprintf("FT_SetDataCharacteristics(%s,8,0,0)=0", h)};
endfunction

function expect_none (label, r)
  expect_results (label, r, 0, 0, '<none>');
endfunction

## --- cases ----------------------------------------------------------------

function listing_and_match ()
  held = struct ('Held', true);
  ## name, devices, argument, transcript, results {ok, h, desc}, driver log
  cases = {
    'one device matches', {'Dev A'}, 'Dev A', ...
      [out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" attached_lines(1)])], ...
      {1, 4096, 'Dev A'}, ...
      [{'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'; 'FT_Open(0)=0'}; setup_log('0x1000')]
    'last of two matches wins, every entry listed', {'Dev A', 'Dev B', 'Dev A', 'Dev C'}, 'Dev A', ...
      [out([count_line(4) "\t(1) Dev A\n\t     --> Device recognized!\n\t(2) Dev B\n" ...
            "\t(3) Dev A\n\t     --> Device recognized!\n\t(4) Dev C\n" attached_lines(3)])], ...
      {1, 4096, 'Dev A'}, ...
      [{'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(4)=0'; 'FT_Open(2)=0'}; setup_log('0x1000')]
    'match is exact and case-sensitive', {'Dev A', 'dev a', 'Dev A '}, 'dev a', ...
      [out([count_line(3) "\t(1) Dev A\n\t(2) dev a\n\t     --> Device recognized!\n\t(3) Dev A \n" attached_lines(2)])], ...
      {1, 4096, 'dev a'}, ...
      [{'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(3)=0'; 'FT_Open(1)=0'}; setup_log('0x1000')]
  };
  for k = 1:rows (cases)
    [name, devices, arg, transcript, results, log] = cases{k,:};
    sim_setup ('d2xx', devices);
    r = attach_run ('uartattach', {arg});
    expect_transcript (name, r.transcript, transcript);
    expect_results (name, r, results{:});
    expect ([name ': driver calls'], r.log, log);
    expect ([name ': no prompt'], r.prompts, {});
  endfor

  ## With no match the prompt comes after the whole listing; blocked entries
  ## are listed but never compared, so an empty argument matches nothing.
  cases = {
    'no devices', {}, 'Dev A', out(count_line(0))
    'no match', {'Dev A', 'Dev B'}, 'Dev', out([count_line(2) "\t(1) Dev A\n\t(2) Dev B\n"])
    'empty argument', {held, 'Dev A'}, char(zeros(1,0)), out([count_line(2) "\t(1) <blocked>\n\t(2) Dev A\n"])
  };
  for k = 1:rows (cases)
    [name, devices, arg, transcript] = cases{k,:};
    sim_setup ('d2xx', devices);
    r = attach_run ('uartattach', {arg}, {0});
    expect_transcript (name, r.transcript, transcript);
    expect_none (name, r);
    expect ([name ': prompt'], r.prompts, {"Please select device from list ('0') to quit):  "});
    expect ([name ': nothing opened'], any (strncmp (r.log, 'FT_Open', 7)), false);
  endfor
endfunction

function prompt_answers ()
  ## answer, selection number (0: none), label
  cases = {
    0, 0, 'zero quits'
    2, 2, 'a number in range'
    2.7, 2, 'a fraction truncates toward zero'
    3, 0, 'beyond the count'
    -1, 0, '-1 becomes 2^32-1, beyond the count'
    NaN, 0, 'NaN'
    Inf, 0, 'Inf'
    -Inf, 0, '-Inf'
    2^32 + 1, 1, '2^32+1 keeps its low 32 bits'
    2^63, 0, '2^63 is outside the signed 64-bit range'
    -2^63, 0, '-2^63 has low 32 bits 0'
    1e300, 0, 'far beyond the signed 64-bit range'
    true, 1, 'logical true'
    int8(2), 2, 'an integer type'
    single(1.9), 1, 'single'
    1 + 5i, 1, 'complex: its real part'
    [2 1], 2, 'a vector: its first element'
    'A', 0, 'a character: its code, beyond the count'
  };
  for k = 1:rows (cases)
    [answer, number, name] = cases{k,:};
    sim_setup ('d2xx', {'Dev A', 'Dev B'});
    r = attach_run ('uartattach', {'other'}, {answer});
    listing = [count_line(2) "\t(1) Dev A\n\t(2) Dev B\n"];
    if (number == 0)
      expect_transcript (name, r.transcript, out(listing));
      expect_none (name, r);
      expect ([name ': driver calls'], r.log, {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(2)=0'});
    else
      names = {'Dev A', 'Dev B'};
      expect_transcript (name, r.transcript, out([listing attached_lines(number)]));
      expect_results (name, r, 1, 4096, names{number});
      expect ([name ': opened by index'], r.log{3}, sprintf ('FT_Open(%d)=0', number - 1));
    endif
  endfor
endfunction

function answers_without_value ()
  ## Pressing Enter gives [], and cells, structs and function handles have
  ## no numeric value: each selects nothing instead of raising.
  answers = {[], zeros(0, 3), '', {}, {2}, struct('a', 2), @sin, int8([])};
  for k = 1:numel (answers)
    name = sprintf ('answer without value (%s)', class (answers{k}));
    sim_setup ('d2xx', {'Dev A'});
    r = attach_run ('uartattach', {'other'}, answers(k));
    expect_transcript (name, r.transcript, out([count_line(1) "\t(1) Dev A\n"]));
    expect_none (name, r);
  endfor
endfunction

function device_found_open ()
  ## A second call for a device the first one attached closes the listed
  ## handle (console lines), then opens the device afresh.
  sim_setup ('d2xx', {'Dev A', 'Dev B'});
  first = attach_run ('uartattach', {'Dev B'});
  expect_results ('first attach', first, 1, 4096, 'Dev B');
  r = attach_run ('uartattach', {'Dev B'});
  expect_transcript ('attach again', r.transcript, ...
    [out([count_line(2) "\t(1) Dev A\n\t(2) Dev B\n\t     --> Device recognized!\n"]);
     con("Device is open.\nClosing device...\n");
     out(attached_lines(2))]);
  expect_results ('attach again', r, 1, 4097, 'Dev B');
  expect ('attach again: driver calls', r.log, ...
    [{'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(2)=0'; 'FT_Close(0x1000)=0'; 'FT_Open(1)=0'}; setup_log('0x1001')]);
  expect ('attach again: one handle open', ftdisim ('d2xx', 'open'), uint64 (4097));

  ## A failing close is reported on the console and the call goes on.
  ftdisim ('d2xx', 'fail', 'FT_Close', 4);
  r = attach_run ('uartattach', {'Dev B'});
  ftdisim ('d2xx', 'fail', 'FT_Close', 0);
  expect_transcript ('close fails', r.transcript, ...
    [out([count_line(2) "\t(1) Dev A\n\t(2) Dev B\n\t     --> Device recognized!\n"]);
     con("Device is open.\nClosing device...\n\t FT_Close = 4 \n");
     out("Connecting to device 2... \nConnection failed! \nResetting device...! \n\t ftHandle=0x1001\n")]);
  expect_none ('close fails', r);
  expect ('close fails: the unclosed handle is not touched again', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(2)=0'; 'FT_Close(0x1001)=4'; 'FT_Open(1)=3'});

  ## The opened flag alone decides: a device listed opened with a null
  ## handle (held by another process) is "closed" with the null handle.
  sim_setup ('d2xx', {struct('Held', true)});
  r = attach_run ('uartattach', {'x'}, {1});
  expect_transcript ('held elsewhere', r.transcript, ...
    [out([count_line(1) "\t(1) <blocked>\n"]);
     con("Device is open.\nClosing device...\n\t FT_Close = 1 \n");
     out(["Connecting to device 1... \nConnection failed! \nResetting device...! \n\t ftHandle=0x0\n" ...
          "\t FT_ResetDevice = 1 \n\t FT_CyclePort = 1 \n"]);
     con("\t FT_ResetPort = 1 \n")]);
  expect_none ('held elsewhere', r);
endfunction

function open_failures ()
  ## Not found open: the recovery attempt and the port reset run on the
  ## null handle and print what the driver answers.
  sim_setup ('d2xx', {'Dev A'}, 'fail', {{'FT_Open', 4}});
  r = attach_run ('uartattach', {'Dev A'});
  expect_transcript ('open fails', r.transcript, ...
    [out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" ...
          "Connecting to device 1... \nConnection failed! \nResetting device...! \n\t ftHandle=0x0\n" ...
          "\t FT_ResetDevice = 1 \n\t FT_CyclePort = 1 \n"]);
     con("\t FT_ResetPort = 1 \n")]);
  expect_none ('open fails', r);
  expect ('open fails: driver calls', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'; 'FT_Open(0)=4';
     'FT_ResetDevice(0x0)=1'; 'FT_CyclePort(0x0)=1'; 'FT_Close(0x0)=1'; 'FT_ResetPort(0x0)=1'});

  ## The port reset prints only a failure.
  sim_setup ('d2xx', {'Dev A'}, 'fail', {{'FT_Open', 4}, {'FT_ResetPort', 0, 1}});
  r = attach_run ('uartattach', {'Dev A'});
  expect_transcript ('port reset ok', r.transcript, ...
    out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" ...
         "Connecting to device 1... \nConnection failed! \nResetting device...! \n\t ftHandle=0x0\n" ...
         "\t FT_ResetDevice = 1 \n\t FT_CyclePort = 1 \n"]));

  ## Found open and closed by this call: the handle line shows the closed
  ## handle, but neither the recovery attempt nor the port reset hands it to
  ## the driver again.
  sim_setup ('d2xx', {'Dev A'}, 'handles', uint64 (hex2dec ('ABCDEF12345')));
  attach_run ('uartattach', {'Dev A'});
  ftdisim ('d2xx', 'fail', 'FT_Open', 3);
  r = attach_run ('uartattach', {'Dev A'});
  expect_transcript ('open fails after close', r.transcript, ...
    [out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n"]);
     con("Device is open.\nClosing device...\n");
     out("Connecting to device 1... \nConnection failed! \nResetting device...! \n\t ftHandle=0xdef12345\n")]);
  expect_none ('open fails after close', r);
  expect ('open fails after close: driver calls', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'; 'FT_Close(0xabcdef12345)=0'; 'FT_Open(0)=3'});
  expect ('open fails after close: nothing open', ftdisim ('d2xx', 'open'), zeros (0, 1, 'uint64'));
endfunction

function line_setup_failures ()
  ## Each failing set-up call prints its line on the console; the others
  ## still run, in order, and the device stays attached.
  calls = {'FT_SetLatencyTimer', 'FT_GetLatencyTimer', 'FT_ResetDevice', ...
           'FT_SetBaudRate', 'FT_SetDataCharacteristics'};
  for k = 1:numel (calls)
    name = [calls{k} ' fails'];
    sim_setup ('d2xx', {'Dev A'}, 'fail', {{calls{k}, 4 + k}});
    r = attach_run ('uartattach', {'Dev A'});
    expect_transcript (name, r.transcript, ...
      [out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" attached_lines(1)]);
       con(sprintf("\t %s = %d \n", calls{k}, 4 + k))]);
    expect_results (name, r, 1, 4096, 'Dev A');
    log = setup_log ('0x1000');
    log{k+1} = regexprep (log{k+1}, '=0$', sprintf ('=%d', 4 + k));
    expect ([name ': set-up calls'], r.log(4:end), log);
  endfor

  sim_setup ('d2xx', {'Dev A'}, 'fail', cellfun (@(c) {c, 4}, calls, 'UniformOutput', false));
  r = attach_run ('uartattach', {'Dev A'});
  expect_transcript ('all set-up calls fail', r.transcript, ...
    [out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" attached_lines(1)]);
     con(["\t FT_SetLatencyTimer = 4 \n\t FT_GetLatencyTimer = 4 \n\t FT_ResetDevice = 4 \n" ...
          "\t FT_SetBaudRate = 4 \n\t FT_SetDataCharacteristics = 4 \n"])]);
  expect_results ('all set-up calls fail', r, 1, 4096, 'Dev A');
endfunction

function version_words ()
  ## word, version line fields
  cases = {
    hex2dec('00021228'), "2.12.28"
    hex2dec('00000000'), "0.0.0"
    hex2dec('AB021228'), "ab02.12.28"
    hex2dec('FFFFFFFF'), "ffff.ff.ff"
  };
  for k = 1:rows (cases)
    sim_setup ('d2xx', {'Dev A'}, 'version', cases{k,1});
    r = attach_run ('uartattach', {'Dev A'});
    expect_transcript (sprintf ('version word %08X', cases{k,1}), r.transcript, ...
      out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" attached_lines(1, cases{k,2})]));
  endfor
  ## Its status is not looked at: a failed read prints the zeroed word.
  sim_setup ('d2xx', {'Dev A'}, 'fail', {{'FT_GetDriverVersion', 4}});
  r = attach_run ('uartattach', {'Dev A'});
  expect_transcript ('version read fails', r.transcript, ...
    out([count_line(1) "\t(1) Dev A\n\t     --> Device recognized!\n" attached_lines(1, "0.0.0")]));
  expect_results ('version read fails', r, 1, 4096, 'Dev A');
endfunction

function unreadable_lists ()
  ## No count: nothing printed, the prompt, and no number is in range.
  sim_setup ('d2xx', {'Dev A'}, 'fail', {{'FT_CreateDeviceInfoList', 18}});
  r = attach_run ('uartattach', {'Dev A'}, {1});
  expect_transcript ('count fails', r.transcript, cell (0, 2));
  expect_none ('count fails', r);
  expect ('count fails: driver calls', r.log, {'FT_CreateDeviceInfoList()=18'});

  ## The list cannot be read: count line, no listing; a number within the
  ## count opens by index, and the unfilled entry reads as blank (not open,
  ## empty description), whatever the driver scribbled into it.
  for scribble = [false true]
    for number = 1:2
      name = sprintf ('list read fails (scribble %d, device %d)', scribble, number);
      sim_setup ('d2xx', {'Dev A', 'Dev B'}, 'fail', {{'FT_GetDeviceInfoList', 4}}, 'scribble', scribble);
      r = attach_run ('uartattach', {'Dev B'}, {number});
      expect_transcript (name, r.transcript, out([count_line(2) attached_lines(number)]));
      expect_results (name, r, 1, 4096, '');
      expect ([name ': driver calls'], r.log(1:3), ...
        {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(2)=4'; sprintf('FT_Open(%d)=0', number - 1)});
    endfor
  endfor

  ## The list call leaves a count of 0: no listing, the prompt.
  sim_setup ('d2xx', {'Dev A'}, 'listcount', 0);
  r = attach_run ('uartattach', {'Dev A'}, {1});
  expect_transcript ('list count 0', r.transcript, out(count_line(1)));
  expect_none ('list count 0', r);

  ## A driver that claims more entries than the room it was given is held
  ## to that room.
  sim_setup ('d2xx', {'Dev A'}, 'listcount', 5);
  r = attach_run ('uartattach', {'x'}, {2});
  expect_transcript ('list count beyond room', r.transcript, out([count_line(1) "\t(1) Dev A\n"]));
  expect_none ('list count beyond room', r);
endfunction

function description_fields ()
  full = char ('A' + mod (0:63, 26));       # 64 bytes: no NUL in the field
  utf8 = "Gerät µ-Messung";
  cases = {
    'description fills its field', full, full, 1
    'a longer argument does not match', full, [full 'X'], 0
    'UTF-8 bytes compare as bytes', utf8, utf8, 1
    'an embedded NUL is part of the argument', 'Dev A', ['Dev A' char(0) 'x'], 0
    'an argument cut at a NUL does not match', 'Dev A', ['Dev' char(0)], 0
  };
  for k = 1:rows (cases)
    [name, desc, arg, matches] = cases{k,:};
    sim_setup ('d2xx', {desc});
    r = attach_run ('uartattach', {arg}, {0});
    listing = [count_line(1) "\t(1) " desc "\n"];
    if (matches)
      expect_transcript (name, r.transcript, out([listing "\t     --> Device recognized!\n" attached_lines(1)]));
      expect_results (name, r, 1, 4096, desc);
    else
      expect_transcript (name, r.transcript, out(listing));
      expect_none (name, r);
    endif
  endfor

  ## A blocked entry chosen at the prompt is opened like any other, and its
  ## description is the empty text.
  sim_setup ('d2xx', {struct('SerialNumber', 'S1')});
  r = attach_run ('uartattach', {'x'}, {1});
  expect_transcript ('blocked entry chosen', r.transcript, out([count_line(1) "\t(1) <blocked>\n" attached_lines(1)]));
  expect_results ('blocked entry chosen', r, 1, 4096, '');
endfunction

function handle_values ()
  ## handle handed out, number returned
  cases = {
    uint64(1), 1
    uint64(2)^53 + 1, 2^53
    intmax('uint64'), 2^64
    bitshift(uint64(1), 63) + 1, 2^63
  };
  for k = 1:rows (cases)
    name = sprintf ('handle %s', num2str (cases{k,1}));
    sim_setup ('d2xx', {'Dev A'}, 'handles', cases{k,1});
    r = attach_run ('uartattach', {'Dev A'});
    expect_results (name, r, 1, cases{k,2}, 'Dev A');
    expect ([name ': open in the driver'], ftdisim ('d2xx', 'open'), cases{k,1});
  endfor
endfunction

function argument_errors ()
  ## arguments, results asked for, identifier, message
  cases = {
    {}, 3, 'MATLAB:yprime:invalidNumInputs', 'One input argument required.'
    {'a', 'b'}, 3, 'MATLAB:yprime:invalidNumInputs', 'One input argument required.'
    {'a'}, 2, 'MATLAB:yprime:maxlhs', 'Three output arguments required.'
    {'a'}, 4, 'MATLAB:yprime:maxlhs', 'Three output arguments required.'
    {42}, 3, 'MATLAB:revord:inputNotString', 'Input must be a string.'
    {{'a'}}, 3, 'MATLAB:revord:inputNotString', 'Input must be a string.'
    {['ab'; 'cd']}, 3, 'MATLAB:revord:inputNotVector', 'Input must be a row vector.'
    {''}, 3, 'MATLAB:revord:inputNotVector', 'Input must be a row vector.'
    {'abc'.'}, 3, 'MATLAB:revord:inputNotVector', 'Input must be a row vector.'
  };
  for k = 1:rows (cases)
    [args, nout, id, message] = cases{k,:};
    name = sprintf ('argument error %d (%s)', k, id);
    sim_setup ('d2xx', {'a'});
    r = attach_run ('uartattach', args, {}, nout);
    expect ([name ': identifier'], r.err.identifier, id);
    expect ([name ': message'], r.err.message, ['uartattach: ' message]);
    expect ([name ': nothing printed'], r.transcript, cell (0, 2));
    expect ([name ': no driver call'], r.log, cell (0, 1));
  endfor
  ## Too few results are refused before anything else too.
  sim_setup ('d2xx', {'a'});
  r = attach_run ('uartattach', {'a'}, {}, 1);
  expect ('one result asked for', r.err.identifier, 'MATLAB:yprime:maxlhs');
endfunction

function prompt_errors_propagate ()
  ## An error raised inside "input" ends the call with that error; nothing
  ## was opened, and the next call works as usual.
  sim_setup ('d2xx', {'Dev A'});
  r = attach_run ('uartattach', {'x'}, {{'__raise__', 'Octave:undefined-function', "'foo' undefined"}});
  expect ('input raises: identifier', r.err.identifier, 'Octave:undefined-function');
  expect ('input raises: driver calls', r.log, {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'});
  expect ('input raises: listing printed', r.transcript, {'out', [count_line(1) "\t(1) Dev A\n"]});
  r = attach_run ('uartattach', {'Dev A'});
  expect_results ('after input raised', r, 1, 4096, 'Dev A');
endfunction

function output_is_flushed ()
  ## The listing is out of the stdout buffer when the prompt is shown, and
  ## nothing is left in it when the call returns.
  sim_setup ('d2xx', {'Dev A'});
  r = attach_run ('uartattach', {'x'}, {1});
  expect ('flushed before the prompt', r.pending, 0);
  expect ('flushed on return', r.pending_after, 0);
endfunction
