% Attach an FT60x FIFO bridge by its description, else by its number at the prompt.
%
% How to adapt:
% - Set DESCRIPTION to the text your device lists: run the script once and
%   copy the text after the number in fifoattach's list. FT600 and FT601
%   chips list "FTDI SuperSpeed-FIFO Bridge" unless their configuration was
%   programmed with another text.
% - When no entry matches, fifoattach asks for the device's number; 0, or
%   Enter alone, attaches nothing and this script stops with an error.
% - HANDLE is the open D3XX handle as a number, for your own native code;
%   fifoattach sets nothing up on the device. Attaching the same device again
%   closes this handle first (as attach_again.m shows for uartattach).
% - Nothing listed although the device is plugged in: the user lacks access
%   to it (see Troubleshooting in the README: a udev rule for 0403:601e and
%   0403:601f).
%
% No hardware: with the modules on the simulated drivers (make demo, or the
% package installed without vendor drivers), run simulate_devices first.

description = 'FTDI SuperSpeed-FIFO Bridge';

[ok, handle, desc] = fifoattach (description);
if (~ok)
  error ('attach_fifo: no FIFO bridge attached (see the listing above)');
end
fprintf ('Attached "%s", handle %d\n', desc, handle);
if (~strcmp (desc, description))
  fprintf ('Chosen at the prompt: set description = ''%s'' to attach it without asking.\n', desc);
end
