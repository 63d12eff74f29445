% Talk to a USB-serial bridge: attach it by its description, send a line and read the answer, read bytes with a timeout, look at the modem pins, close it.
%
% For real hardware, change:
% - DESCRIPTION to the text your bridge lists, matched exactly (case and
%   spaces): uartportlist() lists the bridges without opening any
%   (list = uartportlist(); {list.Description}). When none matches,
%   uartport raises uartport:notFound, saying what is listed.
% - BAUDRATE, and DataBits, Parity, StopBits and FlowControl, to what the
%   device at the other end of the line expects.
% - COMMAND to something your device answers, and the terminator to how
%   its lines end (configureTerminator(s, 'CR/LF'), or a read and a write
%   terminator). Here the simulated line is wired back to itself, so the
%   answer is the command. A device that does not answer in time makes
%   readline return what arrived, with the warning uartport:timeout.
% - The pins: a real device drives CTS, DSR, CD and RI as it is wired;
%   setRTS and setDTR drive the bridge's own outputs.
%
% No hardware: with the modules on the simulated drivers (make demo, or the
% package installed without vendor drivers), run simulate_devices first.

description = 'FT232R USB UART';
baudrate = 115200;
command = '*IDN?';

s = uartport(description, baudrate, 'DataBits', 8, 'Parity', 'none', ...
             'StopBits', 1, 'FlowControl', 'none', 'Timeout', 2);
fprintf('Attached "%s" at %d baud, %d data bits, parity %s, %d stop bit(s)\n', ...
        s.Description, s.BaudRate, s.DataBits, s.Parity, s.StopBits);

writeline(s, command);
reply = readline(s);
fprintf('Sent "%s", the answer: "%s"\n', command, reply);

% A read waits at most Timeout seconds and returns the values that arrived
% by then; when they are fewer than asked for, it warns (uartport:timeout).
% Here the number of values tells, so the warning is off for this read.
s.Timeout = 0.5;
write(s, uint8([1 2 3]));
state = warning('off', 'uartport:timeout');
data = read(s, 16);
warning(state);
fprintf('Asked for 16 bytes within %g s, %d arrived:%s\n', ...
        s.Timeout, numel(data), sprintf(' %d', data));

pins = getpinstatus(s);
fprintf('Pins: CTS %d, DSR %d, CD %d, RI %d\n', pins.ClearToSend, ...
        pins.DataSetReady, pins.CarrierDetect, pins.RingIndicator);
setRTS(s, true);
setDTR(s, true);

delete(s);
fprintf('Closed: IsOpen = %d\n', s.IsOpen);
clear s
