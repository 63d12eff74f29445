% Stream blocks through an FT600/FT601 FIFO bridge: attach it by its description, read a block and check it, write a block, show the chip's configuration, close it.
%
% For real hardware, change:
% - DESCRIPTION to the text your bridge lists, matched exactly:
%   fifoportlist() lists the bridges without opening any. FT600 and FT601
%   chips list "FTDI SuperSpeed-FIFO Bridge" unless their configuration was
%   programmed with another text.
% - CHANNEL to the FIFO channel your FPGA design uses (1-4: channel 1 is
%   OUT pipe 0x02 and IN pipe 0x82).
% - The check of the block: the simulated bridge sends a 32-bit
%   little-endian counter from 0; compare with what your design sends, or
%   leave the check out. A design that sends less makes the read end at the
%   Timeout with fewer values and the warning fifoport:timeout.
% - The block written goes to the OUT pipe: your design must take it, else
%   the write ends at the Timeout (with the warning fifoport:timeout).
%
% No hardware: with the modules on the simulated drivers (make demo, or the
% package installed without vendor drivers), run simulate_devices first.

description = 'FTDI SuperSpeed-FIFO Bridge';
channel = 1;
words = 262144;   % 1 MiB of 32-bit words

f = fifoport(description, 'Channel', channel, 'Timeout', 2);

tic;
block = read(f, words, 'uint32');
seconds = toc;
if numel(block) < words
  error('stream_fifo: only %d of %d words arrived within the Timeout', numel(block), words);
end
expected = uint32(0:words - 1);
wrong = find(block ~= expected, 1);
if ~isempty(wrong)
  error('stream_fifo: word %d is %d, not %d', wrong, block(wrong), expected(wrong));
end
fprintf('Read %d words (%d bytes) in %.3f s: the counter from 0 to %d\n', ...
        words, 4 * words, seconds, words - 1);

out = uint8(mod(0:65535, 256));
n = write(f, out);
fprintf('Wrote %d bytes to OUT pipe 0x%02X\n', n, 1 + channel);

cfg = getConfiguration(f);
fprintf('Chip configuration: VendorID 0x%04X, ProductID 0x%04X\n', cfg.VendorID, cfg.ProductID);
fprintf('  Manufacturer "%s", ProductDescription "%s", SerialNumber "%s"\n', ...
        cfg.Manufacturer, cfg.ProductDescription, cfg.SerialNumber);
fprintf('  FIFOMode %d, ChannelConfig %d, FIFOClock %d\n', ...
        cfg.FIFOMode, cfg.ChannelConfig, cfg.FIFOClock);
fprintf('Counted: NumBytesRead %d, NumBytesWritten %d\n', f.NumBytesRead, f.NumBytesWritten);

delete(f);
clear f
