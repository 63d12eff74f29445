classdef ftdiport < handle
  % FTDIPORT  What uartport and fifoport objects have in common.
  %   Not made directly: see uartport and fifoport. Every method reaches the
  %   device through the gateway ftdiport_io, which also checks everything a
  %   script passes.

  properties (SetAccess = protected)
    Description = ''  % the listed description of the attached device
    Handle = 0        % the device handle, as uartattach/fifoattach returned it
  end

  properties (Dependent, SetAccess = protected)
    IsOpen            % true until the object is deleted or its handle closed
  end

  properties (Dependent)
    Timeout           % seconds a read or write may take (Inf: no limit)
    ByteOrder         % "little-endian" or "big-endian", for multi-byte values
  end

  properties
    Tag = ''          % any text, for the script's own use
    UserData = []     % any value, for the script's own use
  end

  properties (Access = protected)
    Port = 0          % the gateway's number for this object
    Settings          % the settings as last applied: what the properties show
    Counted = [0 0]   % bytes written and read, as the object had them at its close
  end

  methods
    function obj = ftdiport(kind, args)
      % Everything is checked before anything is listed or printed.
      [description, settings, prompt] = ftdiport_io('options', kind, args);
      if ~prompt
        ftdiport_io('find', kind, description);
      end
      [ok, handle, listed] = feval([kind 'attach'], description);
      if ok ~= 1
        error([kind 'port:notAttached'], '%sport: no device was attached', kind);
      end
      obj.Port = ftdiport_io('adopt', kind, handle, settings);
      obj.Description = listed;
      obj.Handle = handle;
      obj.Tag = settings.Tag;
      obj.UserData = settings.UserData;
      obj.Settings = rmfield(settings, {'Tag', 'UserData'});
    end

    function delete(obj)
      % DELETE  Close the device; harmless on a closed object.
      %   delete(OBJ) or clear OBJ. Afterwards every other method raises
      %   <class>:closed; properties can still be read (IsOpen is false).
      try
        [closed, written, bytesread] = ftdiport_io('close', obj.Port);
        obj.Port = closed;
        obj.Counted = [written bytesread];
      catch
        % Never raises: Octave calls delete again at exit.
      end
    end

    function tf = get.IsOpen(obj)
      tf = ftdiport_io('isopen', obj.Port);
    end

    function v = get.Timeout(obj)
      v = obj.Settings.Timeout;
    end

    function set.Timeout(obj, v)
      obj.Settings.Timeout = ftdiport_io('set', obj.Port, 'Timeout', v);
    end

    function v = get.ByteOrder(obj)
      v = obj.Settings.ByteOrder;
    end

    function set.ByteOrder(obj, v)
      obj.Settings.ByteOrder = ftdiport_io('set', obj.Port, 'ByteOrder', v);
    end

    function set.Tag(obj, v)
      if ~(ischar(v) && (isempty(v) || size(v, 1) == 1))
        error([class(obj) ':invalidValue'], '%s: Tag must be text', class(obj));
      end
      obj.Tag = v;
    end
  end

  % write and read are MEX files in this class's folder (write.mex,
  % read.mex), which Octave calls as methods for a third of what an .m method
  % costs; their help is in write.m and read.m beside them.
  methods
    n = write(obj, varargin)
    data = read(obj, varargin)
  end

  methods (Access = protected)
    function text = open_state(obj)
      % 'open' or 'not open', for disp.
      if obj.IsOpen
        text = 'open';
      else
        text = 'not open';
      end
    end
  end
end
