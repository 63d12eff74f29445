classdef uartport < ftdiport
  % UARTPORT  Talk to an FTDI USB-serial bridge through its D2XX driver.
  %   S = uartport(DESCRIPTION) attaches the bridge whose listed description
  %   is exactly DESCRIPTION (through uartattach, whose listing is printed)
  %   and sets its line up: 230400 baud, 8 data bits, 1 stop bit, no parity,
  %   no flow control, Timeout 10 s.
  %   S = uartport(DESCRIPTION, BAUDRATE, NAME, VALUE, ...) and
  %   S = uartport(DESCRIPTION, NAME, VALUE, ...) set any of BaudRate,
  %   DataBits (7, 8), StopBits (1, 2), Parity ("none", "odd", "even",
  %   "mark", "space"), FlowControl ("none", "hardware" = RTS/CTS,
  %   "software" = XON/XOFF), Timeout (seconds, Inf: no limit), ByteOrder
  %   ("little-endian", "big-endian"), Tag and UserData; names in any case.
  %   S = uartport() lists the devices and asks for a number.
  %
  %   The device list is read silently first: when no entry has that
  %   description, uartport:notFound says what is listed. Other errors:
  %   uartport:invalidValue (a bad argument, or a value the driver refuses),
  %   uartport:notAttached, uartport:driverUnavailable (driver library or
  %   function missing), uartport:driverError ("FT_Write: status 4
  %   (FT_IO_ERROR)"), uartport:staleHandle (uartattach or another uartport
  %   attached the device again, which closed this object's handle),
  %   uartport:closed (after delete); warning uartport:timeout.
  %
  %   Methods: write, read, readline, writeline, configureTerminator, flush,
  %   getpinstatus, setRTS, setDTR, delete; see "help uartport.METHOD".
  %   Properties: Description, Handle, IsOpen, BaudRate, DataBits, StopBits,
  %   Parity, FlowControl, Timeout, ByteOrder, Terminator, NumBytesAvailable,
  %   NumBytesWritten, Tag, UserData.
  %
  %   Example:
  %     s = uartport('FT232R USB UART', 115200);
  %     writeline(s, '*IDN?');
  %     reply = readline(s)
  %     delete(s)
  %
  %   See also uartportlist, uartattach, fifoport.

  properties (Dependent)
    BaudRate          % bits per second, as set
    DataBits          % 7 or 8
    StopBits          % 1 or 2
    Parity            % "none", "odd", "even", "mark" or "space"
    FlowControl       % "none", "hardware" (RTS/CTS) or "software" (XON/XOFF)
  end

  properties (Dependent, SetAccess = private)
    NumBytesAvailable % bytes there to read now
    NumBytesWritten   % bytes the driver took since the open
    Terminator        % "LF" until configureTerminator; {read, write} when they differ
  end

  methods
    function s = uartport(varargin)
      s@ftdiport('uart', varargin);
      s.Settings.Terminator = {'LF', 'LF'};
    end

    function data = readline(s)
      % READLINE  Read text up to the read terminator, without it.
      %   TEXT = readline(S) waits up to the Timeout; then TEXT is what
      %   arrived, with the warning uartport:timeout. Bytes after the
      %   terminator wait for the next read.
      data = ftdiport_io('readline', s.Port);
    end

    function writeline(s, varargin)
      % WRITELINE  Write text and the write terminator.
      %   writeline(S, TEXT); when the Timeout runs out first, the warning
      %   uartport:timeout says how much was written.
      ftdiport_io('writeline', s.Port, varargin{:});
    end

    function configureTerminator(s, varargin)
      % CONFIGURETERMINATOR  Set the line terminator.
      %   configureTerminator(S, T) sets the terminator of readline and
      %   writeline; configureTerminator(S, READ_T, WRITE_T) sets each. A
      %   terminator is "LF", "CR", "CR/LF" or a byte value from 0 to 255.
      [r, w] = ftdiport_io('terminator', s.Port, varargin{:});
      s.Settings.Terminator = {r, w};
    end

    function flush(s, varargin)
      % FLUSH  Drop bytes waiting in the driver.
      %   flush(S) drops both directions; flush(S, "input") what was
      %   received and not read; flush(S, "output") what was not sent yet.
      ftdiport_io('flush', s.Port, varargin{:});
    end

    function pins = getpinstatus(s)
      % GETPINSTATUS  The modem input pins, as a struct of logicals.
      %   Fields ClearToSend, DataSetReady, CarrierDetect, RingIndicator.
      pins = ftdiport_io('pins', s.Port);
    end

    function setRTS(s, varargin)
      % SETRTS  Set (true) or clear (false) the RTS output: setRTS(S, TF).
      ftdiport_io('rts', s.Port, varargin{:});
    end

    function setDTR(s, varargin)
      % SETDTR  Set (true) or clear (false) the DTR output: setDTR(S, TF).
      ftdiport_io('dtr', s.Port, varargin{:});
    end

    function disp(s)
      % DISP  A short summary of the object.
      t = s.Terminator;
      if iscell(t)
        t = sprintf('%s (read), %s (write)', shown(t{1}), shown(t{2}));
      else
        t = shown(t);
      end
      fprintf('  uartport "%s" (%s), handle %.17g\n', s.Description, open_state(s), s.Handle);
      fprintf('    BaudRate %.17g, DataBits %d, Parity %s, StopBits %d, FlowControl %s\n', ...
              s.BaudRate, s.DataBits, s.Parity, s.StopBits, s.FlowControl);
      fprintf('    Timeout %g s, Terminator %s, ByteOrder %s\n', s.Timeout, t, s.ByteOrder);
      if s.IsOpen
        fprintf('    NumBytesAvailable %d, NumBytesWritten %d\n', ...
                s.NumBytesAvailable, s.NumBytesWritten);
      end
    end

    function v = get.BaudRate(s)
      v = s.Settings.BaudRate;
    end

    function set.BaudRate(s, v)
      s.Settings.BaudRate = ftdiport_io('set', s.Port, 'BaudRate', v);
    end

    function v = get.DataBits(s)
      v = s.Settings.DataBits;
    end

    function set.DataBits(s, v)
      s.Settings.DataBits = ftdiport_io('set', s.Port, 'DataBits', v);
    end

    function v = get.StopBits(s)
      v = s.Settings.StopBits;
    end

    function set.StopBits(s, v)
      s.Settings.StopBits = ftdiport_io('set', s.Port, 'StopBits', v);
    end

    function v = get.Parity(s)
      v = s.Settings.Parity;
    end

    function set.Parity(s, v)
      s.Settings.Parity = ftdiport_io('set', s.Port, 'Parity', v);
    end

    function v = get.FlowControl(s)
      v = s.Settings.FlowControl;
    end

    function set.FlowControl(s, v)
      s.Settings.FlowControl = ftdiport_io('set', s.Port, 'FlowControl', v);
    end

    function v = get.NumBytesAvailable(s)
      v = ftdiport_io('available', s.Port);
    end

    function v = get.NumBytesWritten(s)
      v = ftdiport_io('counters', s.Port, s.Counted(1), s.Counted(2));
    end

    function v = get.Terminator(s)
      v = s.Settings.Terminator;
      if isequal(v{1}, v{2})
        v = v{1};
      end
    end
  end
end

function text = shown(t)
  if ischar(t)
    text = t;
  else
    text = sprintf('%d', t);
  end
end
