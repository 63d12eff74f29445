% A session on simulated devices: no hardware needed.  Run with the module
% folder on the path (make demo does that).

% Two USB-serial bridges and one FIFO bridge, as the drivers would list them.
ftdisim ('d2xx', 'reset');
ftdisim ('d2xx', 'add', struct ('Description', 'FT232R USB UART', 'SerialNumber', 'A50285BI'));
ftdisim ('d2xx', 'add', struct ('Description', 'Dual RS232-HS A', 'SerialNumber', 'FT4ZS6I6A'));
ftdisim ('d3xx', 'reset');
ftdisim ('d3xx', 'add', struct ('Description', 'FTDI SuperSpeed-FIFO Bridge', 'SerialNumber', '000000000001'));

disp ('--- attach a serial bridge by its description');
[ok, h, desc] = uartattach ('FT232R USB UART');
fprintf ('ok = %d, handle = %d, description = "%s"\n\n', ok, h, desc);

disp ('--- attach it again: the open handle is closed, the device reopened');
[ok, h, desc] = uartattach ('FT232R USB UART');
fprintf ('ok = %d, handle = %d, description = "%s"\n\n', ok, h, desc);

disp ('--- attach a FIFO bridge');
[ok, h, desc] = fifoattach ('FTDI SuperSpeed-FIFO Bridge');
fprintf ('ok = %d, handle = %d, description = "%s"\n\n', ok, h, desc);

disp ('--- driver calls uartattach made, as the simulated D2XX driver logged them');
calls = ftdisim ('d2xx', 'log');
fprintf ('  %s\n', calls{:});

disp ('--- a uartport object on the second bridge, its line wired back to itself');
ftdisim ('d2xx', 'loopback', 2, true);
s = uartport ('Dual RS232-HS A', 9600, 'Timeout', 1);
writeline (s, 'hello');
fprintf ('wrote "hello", read back "%s"\n', readline (s));
delete (s);
