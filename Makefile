# The whole set-up on a fresh Debian 12 machine:
#   make demo   installs what is missing, builds, runs the demo on simulated devices
#   make test   installs what is missing, builds, runs every test
BUILD ?= build
JOBS ?= $(shell nproc)
OCTAVE := octave-cli -q -H --norc
CMAKE_FLAGS := -DATTACH_WERROR=ON -DATTACH_SANITIZERS=ON \
  -DD2XX_LIBRARY=simulated -DD3XX_LIBRARY=simulated

.PHONY: deps build demo test clean


deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	$(OCTAVE) --eval "addpath('$(abspath $(BUILD))/mex'); run('examples/demo_simulated.m')"

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)

# Targets of parts kept in their own folders (bench, dist, ...).
-include $(wildcard mk/*.mk)
