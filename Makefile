# Varnelo: `make demo` exports the bundled demo database, `make test` runs the
# tests, `make bench` compares the exporter with its peers. Each installs what
# is missing first.
BUILD ?= build
BENCH_BUILD ?= build-release
CMAKE_FLAGS ?=
JOBS ?= 2

.PHONY: all deps configure build demo test bench asan clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only the program and the database the demo runs: the tests build with
# `make test`.
demo: configure
	cmake --build $(BUILD) -j$(JOBS) --target varnelo-export demo_db
	$(BUILD)/varnelo-export --format csv --set Quotes=1 -o demo-export.csv
	@head -n 5 demo-export.csv
	@echo "The panel as a desktop window: $(BUILD)/varnelo-demo (needs Qt; built by make build)"

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DVARNELO_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	bench/run.sh $(BENCH_BUILD)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARNELO_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) build-asan demo-export.csv
