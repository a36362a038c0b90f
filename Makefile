.PHONY: run test deps clean

# Installs what is missing, builds, and starts the Linux recorder.
run:
	scripts/run

# Installs what is missing, then builds and tests both targets.
test:
	scripts/test

deps:
	scripts/deps

clean:
	rm -rf build
