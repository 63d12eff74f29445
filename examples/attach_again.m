% Attach the same serial bridge again, e.g. after an error or a replug, without using a closed handle.
%
% uartattach closes the device this session holds open before opening it
% again, so an earlier handle is closed after the call, even when the new open
% fails. This script may run any number of times in one session: each run
% forgets the previous handle before attaching, and keeps the new one in the
% same variable.
%
% How to adapt:
% - Set DESCRIPTION as in attach_uart.m.
% - If your own code keeps the handle elsewhere (a global, a struct, native
%   code), refresh it there from HANDLE after every attach; 0 means none.
% - A device another program holds (listed "<blocked>") cannot be attached
%   again from here: that program must close it first (see Troubleshooting in
%   the README). After an Octave crash the driver may still count the device
%   as open until the process has ended or the device is replugged.
%
% No hardware: with the modules on the simulated drivers (make demo, or the
% package installed without vendor drivers), run simulate_devices first.

description = 'FT232R USB UART';

if (exist ('handle', 'var') && handle ~= 0)
  fprintf ('Attaching again: handle %d gets closed and must not be used any more.\n', handle);
end
handle = 0;

[ok, handle, desc] = uartattach (description);
if (~ok)
  handle = 0;
  error ('attach_again: no serial bridge attached (see the listing above)');
end
fprintf ('Attached "%s", handle %d\n', desc, handle);
