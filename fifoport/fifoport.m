classdef fifoport < ftdiport
  % FIFOPORT  Stream data to and from an FT600/FT601 FIFO bridge (D3XX).
  %   F = fifoport(DESCRIPTION) attaches the bridge whose listed description
  %   is exactly DESCRIPTION (through fifoattach, whose listing is printed)
  %   on channel 1: it writes to OUT pipe 0x02 and reads from IN pipe 0x82.
  %   F = fifoport(DESCRIPTION, NAME, VALUE, ...) sets any of Channel (1-4:
  %   OUT pipe 0x01 + channel, IN pipe 0x81 + channel), Timeout (seconds,
  %   default 5, Inf: no limit), ByteOrder ("little-endian", "big-endian"),
  %   Tag and UserData; names in any case.
  %   F = fifoport() lists the devices and asks for a number.
  %
  %   Large transfers are split into driver calls of at most 1 MiB, and
  %   Ctrl-C is answered between them. A call that ends short returns what
  %   was moved, with the warning fifoport:timeout; a pipe that timed out
  %   is aborted before anything else moves on it (on hardware, bytes in
  %   flight at an abort may be lost).
  %
  %   Errors: fifoport:notFound (with what is listed), fifoport:invalidValue,
  %   fifoport:notAttached, fifoport:driverUnavailable, fifoport:driverError
  %   ("FT_ReadPipe: status 30 (FT_DEVICE_NOT_CONNECTED)" when unplugged),
  %   fifoport:staleHandle (fifoattach or another fifoport attached the
  %   device again), fifoport:closed (after delete).
  %
  %   Methods: write, read, flush, getConfiguration, delete; see
  %   "help fifoport.METHOD". Properties: Description, Handle, IsOpen,
  %   Channel, Timeout, ByteOrder, NumBytesRead, NumBytesWritten, Tag,
  %   UserData.
  %
  %   Example:
  %     f = fifoport('FTDI SuperSpeed-FIFO Bridge');
  %     block = read(f, 1048576 / 4, 'uint32');
  %     write(f, uint8(1:255));
  %     delete(f)
  %
  %   See also fifoportlist, fifoattach, uartport.

  properties (Dependent, SetAccess = private)
    Channel           % 1-4: the pipes the object moves data on
    NumBytesRead      % bytes read since the open
    NumBytesWritten   % bytes the driver took since the open
  end

  methods
    function f = fifoport(varargin)
      f@ftdiport('fifo', varargin);
    end

    function flush(f, varargin)
      % FLUSH  Drop what the IN pipe holds (FT_FlushPipe).
      ftdiport_io('flush', f.Port, varargin{:});
    end

    function cfg = getConfiguration(f)
      % GETCONFIGURATION  The chip configuration record, as a struct.
      %   CFG = getConfiguration(F) has every field of the record, numbers
      %   as their integer classes and StringDescriptors as 1x128 uint8, and
      %   its three USB string descriptors decoded: Manufacturer,
      %   ProductDescription and SerialNumber (text, UTF-8). A malformed
      %   descriptor leaves its text and those after it empty.
      cfg = ftdiport_io('configuration', f.Port);
    end

    function disp(f)
      % DISP  A short summary of the object.
      fprintf('  fifoport "%s" (%s), handle %.17g\n', f.Description, open_state(f), f.Handle);
      fprintf('    Channel %d (OUT pipe 0x%02X, IN pipe 0x%02X), Timeout %g s, ByteOrder %s\n', ...
              f.Channel, 1 + f.Channel, 129 + f.Channel, f.Timeout, f.ByteOrder);
      fprintf('    NumBytesRead %d, NumBytesWritten %d\n', f.NumBytesRead, f.NumBytesWritten);
    end

    function v = get.Channel(f)
      v = f.Settings.Channel;
    end

    function v = get.NumBytesRead(f)
      [~, v] = ftdiport_io('counters', f.Port, f.Counted(1), f.Counted(2));
    end

    function v = get.NumBytesWritten(f)
      v = ftdiport_io('counters', f.Port, f.Counted(1), f.Counted(2));
    end
  end
end
