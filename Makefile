# The two commands: `make run` and `make test`. See README.md.
BUILD ?= build
LEC ?= $(BUILD)/demo.lec
JOBS ?= 2
FUZZ_TIME ?= 600

.PHONY: run test build deps-run deps-test bench fuzz clean

deps-run:
	@scripts/install-deps.sh run

deps-test:
	@scripts/install-deps.sh test

build: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DVESTREL_BENCH=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ]; then echo "vestrel needs a display (an X server); without one, xvfb-run make run works (package xvfb)"; exit 1; fi
	$(BUILD)/vestrel $(LEC)

test: deps-test
	scripts/test-all.sh

bench: deps-test
	scripts/bench.sh

fuzz: deps-test
	FUZZ_TIME=$(FUZZ_TIME) scripts/fuzz.sh

clean:
	rm -rf $(BUILD) build-*
