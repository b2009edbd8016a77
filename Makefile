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

# Runs the bundled mass-spring-damper model in a copy of the examples under
# $(RUN_DIR), so the source tree stays as it is. With a display the model is
# opened in the graph editor, where the user processes and simulates it.
# Offscreen, orvanta-drive drives the real programs through their messages:
# the model processor, the simulator on the processed model with the example's
# experiment $(RUN_EXPERIMENT), a run, the plot as metafile and PNG; it lists
# the files written. The copy's settings ask for no log window there
# (messages=0; settings keys are not command-line options), and the run is
# bounded by RUN_SECONDS.
RUN_DIR        ?= $(BUILD)/run
RUN_MODEL      ?= msd1
RUN_EXPERIMENT ?= default
RUN_SECONDS    ?= 300
run: build
	@test -n "$(BUILD)" || { echo "run: BUILD is empty"; exit 1; }
	@test -f examples/models/$(RUN_MODEL).mg0 || { echo "run: examples/models/$(RUN_MODEL).mg0 is missing"; exit 1; }
	@rm -rf $(RUN_DIR) && mkdir -p $(RUN_DIR) && cp -R examples/models examples/library $(RUN_DIR)/
	@cd $(RUN_DIR)/models && bin=$(abspath $(BUILD))/bin; \
	if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ "$$QT_QPA_PLATFORM" != offscreen ]; then \
	  echo "run: opening $(RUN_MODEL) in the graph editor (Process > Complete Processing, then Simulation)"; \
	  $$bin/orvanta -rc_file orvanta.ini -model $(RUN_MODEL) || { echo "run: the graph editor failed"; exit 1; }; \
	else \
	  sed -i 's/^messages=.*/messages=0/' orvanta.ini; \
	  if [ -z "$$XDG_RUNTIME_DIR" ]; then \
	    export XDG_RUNTIME_DIR=$(abspath $(RUN_DIR))/runtime; mkdir -m 700 -p "$$XDG_RUNTIME_DIR"; \
	  fi; \
	  QT_QPA_PLATFORM=offscreen timeout $(RUN_SECONDS) $$bin/orvanta-drive orvanta.ini $(RUN_MODEL) $(RUN_EXPERIMENT); \
	  status=$$?; \
	  if [ $$status -eq 124 ]; then echo "run: the programs did not end within $(RUN_SECONDS) s"; exit 1; fi; \
	  if [ $$status -ne 0 ]; then echo "run: the example run failed (status $$status)"; exit 1; fi; \
	fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz

# Builds the fuzz targets with clang's libFuzzer and gives each a short run, JOBS at a time.
fuzz: deps
	@if command -v clang++ >/dev/null 2>&1; then \
	  cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_FUZZ=ON -DORVANTA_TESTS=OFF >/dev/null && \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) && \
	  printf '%s\n' $(FUZZ_BUILD)/fuzz/fuzz_* | \
	    xargs -P $(JOBS) -I{} scripts/fuzz-one {} $(FUZZ_SECONDS) $(FUZZ_BUILD); \
	else \
	  echo "fuzz: clang++ not found, fuzz targets skipped"; \
	fi

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
