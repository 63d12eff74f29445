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
