# Sourced by the scripts that drive programs under Wine (through
# in-xvfb.bash, service-common.bash and deployed-service.bash): how long
# they wait, named once, and the one way they wait. Every wait is for a
# condition (a window, a service's state, a file, a program's end), never a
# fixed time; a bound only says how long a loaded machine may take before
# the wait gives up and the script says what it did not see. They are
# generous on purpose: under a parallel ctest run beside other builds a
# Wine program has been seen taking most of a minute to show its first
# window. The drivers' own bounds are in tests/support/Waits.h.

# A Wine program started a moment ago shows its first window, or a desktop
# started a moment ago exists.
export bw_wait_program=240
# A window that is there reacts to one step: a dialog comes or goes, a
# control shows a text, a list fills.
export bw_wait_step=60
# The service reaches the state asked for (running, stopped).
export bw_wait_service=120
# A program told to end (its window closed, its service stopped) has ended.
export bw_wait_end=120
# A backup, restore or registry task started through a window ends.
export bw_wait_task=600
# One run of a driver or tool: longer than any bound it is given.
export bw_wait_tool=900

# wait_until SECONDS COMMAND [ARG...]: runs the command again and again
# until it succeeds or SECONDS have gone by; false when it never did.
wait_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        # Between two looks, not a wait for anything.
        sleep 0.2
    done
}
