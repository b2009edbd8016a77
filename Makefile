# Thin wrapper: the two commands of the README.
BUILD      ?= build
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 10

.PHONY: all deps configure build run test fuzz clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Runs the most complete program the suite has on the bundled example.
run: build
	@cd examples/models && ../../$(BUILD)/common/tools/orvanta-startup-check -rc_file orvanta.ini -model tank1

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz

# Builds the fuzz targets with clang's libFuzzer and gives each a short run.
fuzz: deps
	@if command -v clang++ >/dev/null 2>&1; then \
	  cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_FUZZ=ON -DORVANTA_TESTS=OFF >/dev/null && \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) && \
	  for f in $(FUZZ_BUILD)/fuzz/fuzz_*; do \
	    name=$$(basename $$f); corpus=fuzz/corpus/$${name#fuzz_}; \
	    echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	    scripts/run-test $(CURDIR)/$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 \
	      . $$( [ -d $$corpus ] && echo $(CURDIR)/$$corpus ) 2>$(CURDIR)/$(FUZZ_BUILD)/$$name.log \
	      || { tail -n 40 $(FUZZ_BUILD)/$$name.log; exit 1; }; \
	  done; \
	else \
	  echo "fuzz: clang++ not found, fuzz targets skipped"; \
	fi

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
