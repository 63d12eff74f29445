function simulate_devices(how)
  % Simulated devices for trying the examples without hardware.
  %   simulate_devices()         the devices the examples look for
  %   simulate_devices('other')  devices with other descriptions: the
  %                              examples fall back to the prompt
  %   simulate_devices('held')   as (), but another program holds the
  %                              serial bridge the examples look for
  % Each serial bridge's line is wired back to itself: what a script writes
  % comes back to it (talk_uart.m reads its own line back). The FIFO
  % bridge's IN pipe sends a 32-bit counter from 0 (what stream_fifo.m
  % checks), its OUT pipe takes whatever comes, and its configuration holds
  % its manufacturer, description and serial number.
  % Only modules built or installed on the simulated drivers see them
  % (make demo builds such modules; see also ftdiattach_drivers).
  if nargin < 1
    how = 'same';
  end
  if exist('ftdiattach_drivers', 'file')
    drivers = ftdiattach_drivers();
    if ~strcmp(drivers.uartattach, 'libd2xx_sim.so') ...
        || ~strcmp(drivers.fifoattach, 'libd3xx_sim.so')
      warning('simulate_devices: a module uses a vendor driver and lists real devices only');
    end
  end
  uart = {'FT232R USB UART', 'Dual RS232-HS A'};
  fifo = 'FTDI SuperSpeed-FIFO Bridge';
  switch how
    case 'same'
    case 'other'
      uart = {'USB <-> Serial', 'Dual RS232-HS A'};
      fifo = 'FT601 Test Board';
    case 'held'
      uart = {struct('Description', uart{1}, 'Held', true), uart{2}};
    otherwise
      error('simulate_devices: HOW is ''other'', ''held'' or nothing');
  end
  ftdisim('d2xx', 'reset');
  for k = 1:numel(uart)
    n = ftdisim('d2xx', 'add', uart{k});
    ftdisim('d2xx', 'loopback', n, true);
  end
  serial = '000000000001';
  ftdisim('d3xx', 'reset');
  n = ftdisim('d3xx', 'add', struct('Description', fifo, 'SerialNumber', serial, 'Type', 601));
  ftdisim('d3xx', 'source', n, 'counter');
  ftdisim('d3xx', 'config', struct('StringDescriptors', descriptors({'FTDI', fifo, serial})));
end

function field = descriptors(texts)
  % The chip's 128-byte field of USB string descriptors, one after another:
  % length, type 3, the text in UTF-16LE.
  field = zeros(1, 128, 'uint8');
  at = 0;
  for k = 1:numel(texts)
    codes = double(texts{k});
    bytes = [2 + 2 * numel(codes), 3, reshape([codes; zeros(size(codes))], 1, [])];
    field(at + (1:numel(bytes))) = bytes;
    at = at + numel(bytes);
  end
end
