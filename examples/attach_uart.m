% Attach a USB-serial bridge by its description, else by its number at the prompt.
%
% How to adapt:
% - Set DESCRIPTION to the text your device lists. Run the script once:
%   uartattach prints the driver's list, e.g. "(1) FT232R USB UART"; copy
%   the text after the number. It must match exactly (case and spaces). An
%   FT232R lists "FT232R USB UART" unless its EEPROM was programmed with
%   another text; chips with several ports list one entry per port
%   ("Dual RS232-HS A", "Dual RS232-HS B").
% - When no entry matches, uartattach asks for the device's number; 0, or
%   Enter alone, attaches nothing and this script stops with an error. A
%   script that must run unattended needs an exact description.
% - HANDLE is the open D2XX handle (FT_HANDLE) as a number, for your own
%   native code; the line is already set up (230400 baud, 8N1, latency 2 ms).
%   Attaching again closes it: see attach_again.m.
%
% No hardware: with the modules on the simulated drivers (make demo, or the
% package installed without vendor drivers), run simulate_devices first.

description = 'FT232R USB UART';

[ok, handle, desc] = uartattach (description);
if (~ok)
  error (['attach_uart: no serial bridge attached. In the listing above, ', ...
          '"<blocked>" is a device another program or the ftdi_sio kernel ', ...
          'driver holds (see Troubleshooting in the README).']);
end
fprintf ('Attached "%s", handle %d\n', desc, handle);
if (~strcmp (desc, description))
  fprintf ('Chosen at the prompt: set description = ''%s'' to attach it without asking.\n', desc);
end
