function fifo_flow_test ()
  ## fifoattach on the simulated D3XX driver: what each call prints on which
  ## channel, the driver calls it makes, and its three results.
  listing_and_open ();
  open_test_is_the_handle ();
  open_failures ();
  version_words ();
  description_fields ();
  shared_flow_holds ();
endfunction

function t = count_line (n)
  t = sprintf ("Number of FT3 devices found: %d \n", n);
endfunction

function t = attached_lines (number, version)
  if (nargin < 2)
    version = "1.3.0.4";
  endif
  t = sprintf ("Connecting to device %d... \nConnected!\n\t Driver version = %s\n",
               number, version);
endfunction

function listing_and_open ()
  ## The index travels widened in FT_Create's pointer-sized argument, with
  ## the open-by-index flag; nothing is set up after the open.
  sim_setup ('d3xx', {'FIFO A', 'FIFO B', 'FIFO C'});
  r = attach_run ('fifoattach', {'FIFO C'});
  expect_transcript ('match', r.transcript, ...
    out([count_line(3) "\t(1) FIFO A\n\t(2) FIFO B\n\t(3) FIFO C\n\t     --> Device recognized!\n" attached_lines(3)]));
  expect_results ('match', r, 1, 4096, 'FIFO C');
  expect ('match: driver calls', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(3)=0'; 'FT_Create(0x2,0x10)=0';
     'FT_GetDriverVersion(0x1000)=0'});

  sim_setup ('d3xx', {'FIFO A', 'FIFO B'});
  r = attach_run ('fifoattach', {'nothing'}, {2});
  expect_transcript ('prompt', r.transcript, ...
    out([count_line(2) "\t(1) FIFO A\n\t(2) FIFO B\n" attached_lines(2)]));
  expect_results ('prompt', r, 1, 4096, 'FIFO B');
  expect ('prompt: shown once', r.prompts, {"Please select device from list ('0') to quit):  "});
endfunction

function open_test_is_the_handle ()
  ## An entry listed with a handle is closed first, whatever its Flags say;
  ## one listed without a handle is opened without a close, whatever its
  ## Flags say.
  ## name, flags given, attach first, close expected
  cases = {
    'handle listed, flags 0', 0, true, true
    'handle listed, flags opened', 1, true, true
    'no handle, flags opened', 1, false, false
    'no handle, flags 0', 0, false, false
  };
  for k = 1:rows (cases)
    [name, flags, first, closes] = cases{k,:};
    sim_setup ('d3xx', {struct('Description', 'FIFO A', 'Flags', flags)});
    if (first)
      attach_run ('fifoattach', {'FIFO A'});
    endif
    r = attach_run ('fifoattach', {'FIFO A'});
    listing = out([count_line(1) "\t(1) FIFO A\n\t     --> Device recognized!\n"]);
    if (closes)
      expect_transcript (name, r.transcript, [listing; con("Device is open.\nClosing device...\n"); out(attached_lines(1))]);
      expect_results (name, r, 1, 4097, 'FIFO A');
      expect ([name ': closes the listed handle'], r.log{3}, 'FT_Close(0x1000)=0');
    else
      expect_transcript (name, r.transcript, [listing; out(attached_lines(1))]);
      expect_results (name, r, 1, 4096, 'FIFO A');
      expect ([name ': no close'], r.log{3}, 'FT_Create(0x0,0x10)=0');
    endif
  endfor

  ## A failing close is reported on the console; the call goes on.
  sim_setup ('d3xx', {'FIFO A'});
  attach_run ('fifoattach', {'FIFO A'});
  ftdisim ('d3xx', 'fail', 'FT_Close', 32);
  r = attach_run ('fifoattach', {'FIFO A'});
  expect ('close fails: console', r.transcript(2,:), con("Device is open.\nClosing device...\n\t FT_Close = 32 \n"));
  expect ('close fails: no second close of that handle', ...
          sum (strcmp (r.log, 'FT_Close(0x1000)=32')), 1);
endfunction

function open_failures ()
  ## Not found open: the handle printed is the null one, FT_Create's status
  ## follows, and the null handle is closed.
  sim_setup ('d3xx', {'FIFO A'}, 'fail', {{'FT_Create', 19}});
  r = attach_run ('fifoattach', {'FIFO A'});
  expect_transcript ('create fails', r.transcript, ...
    out([count_line(1) "\t(1) FIFO A\n\t     --> Device recognized!\n" ...
         "Connecting to device 1... \nConnection failed! \n\t ftHandle=0x0\n\t FT_Create = 19 \n"]));
  expect_results ('create fails', r, 0, 0, '<none>');
  expect ('create fails: driver calls', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'; 'FT_Create(0x0,0x10)=19'; 'FT_Close(0x0)=1'});

  ## Found open and closed by this call: the handle line shows it, and it
  ## is not handed to FT_Close a second time.
  sim_setup ('d3xx', {'FIFO A'}, 'handles', uint64 (hex2dec ('123456789')));
  attach_run ('fifoattach', {'FIFO A'});
  ftdisim ('d3xx', 'fail', 'FT_Create', 3);
  r = attach_run ('fifoattach', {'FIFO A'});
  expect_transcript ('create fails after close', r.transcript, ...
    [out([count_line(1) "\t(1) FIFO A\n\t     --> Device recognized!\n"]);
     con("Device is open.\nClosing device...\n");
     out("Connecting to device 1... \nConnection failed! \n\t ftHandle=0x23456789\n\t FT_Create = 3 \n")]);
  expect_results ('create fails after close', r, 0, 0, '<none>');
  expect ('create fails after close: driver calls', r.log, ...
    {'FT_CreateDeviceInfoList()=0'; 'FT_GetDeviceInfoList(1)=0'; 'FT_Close(0x123456789)=0'; 'FT_Create(0x0,0x10)=3'});
  expect ('create fails after close: nothing open', ftdisim ('d3xx', 'open'), zeros (0, 1, 'uint64'));
endfunction

function version_words ()
  cases = {
    hex2dec('01030004'), "1.3.0.4"
    hex2dec('00000000'), "0.0.0.0"
    hex2dec('FFEEDDCC'), "ff.ee.dd.cc"
  };
  for k = 1:rows (cases)
    sim_setup ('d3xx', {'FIFO A'}, 'version', cases{k,1});
    r = attach_run ('fifoattach', {'FIFO A'});
    expect_transcript (sprintf ('version word %08X', cases{k,1}), r.transcript, ...
      out([count_line(1) "\t(1) FIFO A\n\t     --> Device recognized!\n" attached_lines(1, cases{k,2})]));
  endfor
endfunction

function description_fields ()
  ## A 32-byte description fills the D3XX field without a NUL.
  full = char ('a' + mod (0:31, 26));
  sim_setup ('d3xx', {full});
  r = attach_run ('fifoattach', {full});
  expect_transcript ('description fills its field', r.transcript, ...
    out([count_line(1) "\t(1) " full "\n\t     --> Device recognized!\n" attached_lines(1)]));
  expect_results ('description fills its field', r, 1, 4096, full);
endfunction

function shared_flow_holds ()
  ## The mends of the shared flow hold for this module too.
  sim_setup ('d3xx', {'FIFO A'});
  answers = {[], {1}, struct('n', 1), @sin};
  for k = 1:numel (answers)
    name = sprintf ('answer without value (%s)', class (answers{k}));
    r = attach_run ('fifoattach', {'x'}, answers(k));
    expect_results (name, r, 0, 0, '<none>');
  endfor
  r = attach_run ('fifoattach', {['FIFO A' char(0)]}, {0});
  expect_results ('embedded NUL does not match', r, 0, 0, '<none>');
  expect ('flushed before the prompt', r.pending, 0);
  expect ('flushed on return', r.pending_after, 0);
  r = attach_run ('fifoattach', {'x'}, {{'__raise__', 'test:raised', 'raised'}});
  expect ('input raises', r.err.identifier, 'test:raised');
  r = attach_run ('fifoattach', {42});
  expect ('argument error', r.err.message, 'fifoattach: Input must be a string.');
  sim_setup ('d3xx', {'FIFO A'}, 'fail', {{'FT_GetDeviceInfoList', 32}}, 'scribble', true);
  r = attach_run ('fifoattach', {'FIFO A'}, {1});
  expect_transcript ('list read fails', r.transcript, out([count_line(1) attached_lines(1)]));
  expect_results ('list read fails', r, 1, 4096, '');
endfunction
