# make bench: builds the modules in release mode on the simulated drivers, in
# a folder of their own, and prints the benchmark figures (see bench/README.md).
BENCH_BUILD ?= build-bench

.PHONY: bench
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DATTACH_WERROR=ON -DATTACH_SANITIZERS=OFF \
	  -DD2XX_LIBRARY=simulated -DD3XX_LIBRARY=simulated
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target bench_modules
	bench/run.sh $(BENCH_BUILD)

# make bench-emulated: serialport (kernel ftdi_sio) against uartport over the
# libftdi layer on QEMU's emulated FT232, in one guest boot, from the same
# release build (about a minute; bench/README.md).
.PHONY: bench-emulated
bench-emulated: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DATTACH_WERROR=ON -DATTACH_SANITIZERS=OFF \
	  -DD2XX_LIBRARY=simulated -DD3XX_LIBRARY=simulated
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target emulated_ft232_tools
	tests/emulated_ft232/run $(BENCH_BUILD) --bench
