#!/usr/bin/env bash
# Runs the README's recipes for spreading a batch over machines ("Scale beyond one machine") on
# the real engines, and fails unless they do what the README says:
#   - a Slurm job array, on a one-node cluster started here on localhost (Debian's slurm-wlm and
#     munge, slurmctld and slurmd with a configuration of their own and this machine's
#     processors): a list that the dry run refuses submits nothing; the array converts every scan
#     exactly once (the tasks' summaries add up to the scans, each task's to its share), each
#     output byte for byte what x17b2pavo writes; an array cancelled while it runs shows its
#     tasks CANCELLED and, submitted again, converts the rest once and leaves every output already
#     there as it was (same inode, same time); one share submitted alone converts just its share;
#   - GNU parallel over ssh to the README's logins, each an sshd address on this machine
#     (127.0.0.1, 127.0.0.2, ...) reached with keys made for the check: every call runs through
#     ssh, every login gets some, every scan is converted exactly once, and a rerun converts
#     nothing.
# The scans have awkward names: blanks, quotes, a newline, a tab, a leading "-", "*", "$",
# non-ASCII and invalid UTF-8, beside a folder named like a scan.
#
# The blocks run are the fenced code blocks of README.md's section, as they stand there. Only
# what differs on this machine is set: the job script's --cpus-per-task (this machine's
# processors), PATH (a folder with x17b2pavo-batch first, also for the commands that ssh runs),
# PARALLEL_SSH (the keys and the port) and PARALLEL_HOME. The x17b2pavo-batch on that PATH notes
# each call (who ran it, with which options) and runs BUILD_DIR's program; for the cancelled
# array only, it waits a few seconds before that, so that the cancel meets a task that runs.
#
# Usage: scripts/scaleout_check.sh BUILD_DIR   (as root; BUILD_DIR holds x17b2pavo and
# x17b2pavo-batch). Installs the Debian packages that are missing (and purges exactly those at
# the end), stops every daemon it started by its process id and removes every file it wrote, on
# any exit. About two and a half minutes on a 2-core machine, the packages' install and purge
# included; the exit status is 1 if any check failed.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
readonly repo
readonly packages=(slurm-wlm munge openssh-server openssh-client parallel)
readonly start_delay=3 # seconds that each task of the cancelled array waits before converting

passed=0
failed=0
newly_installed=()
policy_rc_made=""
privsep_made=""
daemon_names=()
daemon_pids=()
work=""

say() { printf 'scaleout: %s\n' "$*"; }
die() {
  printf 'scaleout: error: %s\n' "$*" >&2
  exit 1
}
# check DESCRIPTION COMMAND...: runs the command and counts it as a passed or failed check.
check() {
  local what="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    say "ok: $what"
  else
    failed=$((failed + 1))
    say "FAILED: $what"
  fi
}
# Shows a name list of NUL-ended names one to a line, with the control characters as "?".
show_names() { tr '\n\t\0' '??\n' | sed 's/^/    /'; }

# ---- packages -----------------------------------------------------------------------------------

installed_packages() {
  dpkg-query -W -f='${db:Status-Status} ${Package} ${Version}\n' | awk '$1 == "installed" {print $2, $3}' |
    LC_ALL=C sort
}

install_missing_packages() {
  local package missing=()
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed ||
      missing+=("$package")
  done
  if ((${#missing[@]} == 0)); then
    say "packages: all there (${packages[*]})"
    return
  fi
  say "packages: installing ${missing[*]}"
  installed_packages >"$work/packages.before"
  # The packages' own services are not to be started: the check starts its own daemons.
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    policy_rc_made=/usr/sbin/policy-rc.d
  fi
  local apt=(apt-get -o DPkg::Lock::Timeout=300 -q)
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" update >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; die "apt-get update failed"; }
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}" \
    >>"$work/apt.log" 2>&1 || { cat "$work/apt.log"; die "apt-get install failed"; }
  if [[ -n "$policy_rc_made" ]]; then
    rm -f "$policy_rc_made"
    policy_rc_made=""
  fi
  installed_packages >"$work/packages.after"
  mapfile -t newly_installed < <(LC_ALL=C join -v 2 "$work/packages.before" "$work/packages.after" | cut -d' ' -f1)
  say "packages: installed ${newly_installed[*]} (purged at the end)"
  local upgraded
  upgraded="$(LC_ALL=C join "$work/packages.before" "$work/packages.after" | awk '$2 != $3 {print $1, $2, "->", $3}')"
  [[ -z "$upgraded" ]] || say "packages: upgraded as dependencies, left so: $upgraded"
}

purge_installed_packages() {
  ((${#newly_installed[@]})) || return 0
  say "packages: purging ${newly_installed[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -q purge -y \
    "${newly_installed[@]}" >"$work/purge.log" 2>&1 || cat "$work/purge.log"
}

# ---- daemons ------------------------------------------------------------------------------------

# start_daemon NAME COMMAND...: starts a daemon that stays in the foreground, its output in
# logs/NAME.log, and keeps its process id for the stop.
start_daemon() {
  local name="$1"
  shift
  "$@" >"$work/logs/$name.log" 2>&1 &
  daemon_names+=("$name")
  daemon_pids+=("$!")
}

stop_daemon() {
  local name="$1" pid="$2" tries
  kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for ((tries = 0; tries < 100; tries++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    say "$name (pid $pid) did not stop on SIGTERM: SIGKILL"
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

stop_daemons() {
  local i
  for ((i = ${#daemon_pids[@]} - 1; i >= 0; i--)); do
    stop_daemon "${daemon_names[i]}" "${daemon_pids[i]}"
  done
}

daemon_alive() {
  local i
  for ((i = 0; i < ${#daemon_names[@]}; i++)); do
    [[ "${daemon_names[i]}" == "$1" ]] && kill -0 "${daemon_pids[i]}" 2>/dev/null && return 0
  done
  return 1
}

# A TCP port that nothing listens on at any of the given addresses.
free_port() {
  local port address tries
  for ((tries = 0; tries < 50; tries++)); do
    port=$((20000 + RANDOM % 30000))
    for address in "$@"; do
      (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && continue 2
    done
    echo "$port"
    return
  done
  die "no free port found"
}

# ---- cleanup ------------------------------------------------------------------------------------

cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM HUP
  if [[ -n "${SLURM_CONF:-}" ]] && daemon_alive slurmctld; then
    scancel --quiet --user=root 2>/dev/null
    for ((tries = 0; tries < 100; tries++)); do
      [[ -z "$(squeue -h -o %i 2>/dev/null)" ]] && break
      sleep 0.2
    done
  fi
  if ((status != 0)) && [[ -d "$work/logs" ]]; then
    for log in "$work"/logs/*.log; do
      [[ -s "$log" ]] || continue
      echo "---- last lines of ${log##*/} (but its Info lines)"
      grep -v ': Info: ' "$log" | tail -n 15
    done
  fi
  stop_daemons
  purge_installed_packages
  [[ -z "$policy_rc_made" ]] || rm -f "$policy_rc_made"
  [[ -z "$privsep_made" ]] || rmdir "$privsep_made"
  [[ -z "$work" ]] || rm -rf "$work"
  exit "$status"
}

# ---- the README's blocks ------------------------------------------------------------------------

# Writes the fenced code blocks of README.md's "Scale beyond one machine" into block1, block2, ...
extract_blocks() {
  local dir="$1" count
  awk -v dir="$dir" '
    /^### Scale beyond one machine$/ { inside = 1; next }
    inside && /^##/ { exit }
    inside && /^```/ {
      if (file != "") { close(file); file = "" } else { file = dir "/block" ++n; printf "" >file }
      next
    }
    file != "" { print >file }
  ' "$repo/README.md"
  count="$(find "$dir" -type f -name 'block*' | wc -l)"
  [[ "$count" -eq 4 ]] ||
    die "README.md's Scale beyond one machine has $count code blocks, not the 4 that this check runs"
  if [[ "$(head -n 1 "$dir/block1")" != '#!/bin/bash' ]] ||
    [[ "$(grep -c '^#SBATCH --cpus-per-task=[0-9]*$' "$dir/block1")" -ne 1 ]]; then
    die "README.md's first block is no job script with one #SBATCH --cpus-per-task"
  fi
  if ! grep -q '^SHARES=[0-9]*$' "$dir/block2" || ! grep -q 'sbatch --array=' "$dir/block2"; then
    die "README.md's second block does not fix SHARES and submit an array"
  fi
  if [[ "$(grep -c '^sbatch ' "$dir/block3")" -ne 2 ]] ||
    ! sed -n 2p "$dir/block3" | grep -q '^sbatch --array=[0-9]* '; then
    die "README.md's third block is not the two resubmissions (the array, then one share)"
  fi
  grep -q -- '--sshlogin ' "$dir/block4" || die "README.md's fourth block is no parallel --sshlogin"
}

# The job script as the README has it, with --cpus-per-task set to this machine's processors.
write_job_script() {
  local site="$1"
  sed "s/^#SBATCH --cpus-per-task=[0-9]*$/#SBATCH --cpus-per-task=$cpus/" "$blocks/block1" \
    >"$site/x17b2pavo.sbatch"
}

# run_block SITE BLOCK-FILE [ENV...]: shows the block's text and runs it with bash in SITE; its
# output is kept in SITE/block.out and SITE/block.err and shown; the status is the block's.
run_block() {
  local site="$1" block="$2" status=0
  shift 2
  sed 's/^/    $ /' "$block"
  (cd "$site" && env PATH="$bin:$PATH" "$@" timeout 300 bash -c "$(cat "$block")") \
    >"$site/block.out" 2>"$site/block.err" || status=$?
  sed 's/^/    | /' "$site/block.out" "$site/block.err"
  return "$status"
}

# ---- scans --------------------------------------------------------------------------------------

# The scans: copies of the example scan, each with its own first count, under awkward names.
make_scans() {
  local data="$work/scans/data" stem index value=100
  mkdir -p "$data/more scans" "$data/not a scan.dat"
  # shellcheck disable=SC2016 # "$HOME" and `tick` are names, not expansions
  stems=(plain "with blank" "two  blanks " "it's" '"quoted"' $'new\nline' $'tab\there' -dash
    --double-dash '*' 'star*' '$HOME' 'back\slash' 'semi;colon' 'amp&' 'pipe|' 'paren(s)' 'a,b'
    'bang!' 'at@home' 'percent%d' 'hash#' 'question?' 'lt<gt>' '~tilde' 'brace{x}' '`tick`' a.b
    .hidden 'ünïcödé' '日本語' $'bad\xffbyte')
  for ((index = 1; index <= 24; index++)); do stems+=("scan $index"); done
  for stem in "${stems[@]}"; do
    value=$((value + 1))
    awk -v value="$value.25" 'NR == 30 {printf "%10s\r\n", value; next} {print}' \
      "$repo/examples/scan.dat" >"$data/$stem.dat"
  done
  mv "$data/scan 24.dat" "$data/more scans/deeper.dat"
  stems[${#stems[@]} - 1]=deeper
  # The outputs that x17b2pavo writes for them, each into a new file.
  mkdir "$work/ref"
  (cd "$work/scans" && find data -type f -name '*.dat' -print0) >"$work/scans.all"
  while IFS= read -r -d '' scan; do
    stem="${scan##*/}"
    stem="${stem%.*}"
    (cd "$work/scans" && printf '\n\n' | "$build/x17b2pavo" "$scan" "$work/ref/$stem.pavo" >/dev/null) ||
      die "x17b2pavo could not convert $scan"
  done <"$work/scans.all"
  scan_count="${#stems[@]}"
  [[ "$(find "$work/ref" -type f -printf . | wc -c)" -eq "$scan_count" ]] || die "the reference outputs are not one per scan"
  say "scans: $scan_count under awkward names, and their outputs from x17b2pavo"
}

new_site() {
  local site="$work/$1"
  mkdir "$site"
  cp -a "$work/scans/data" "$site/"
  write_job_script "$site"
  echo "$site"
}

show_job_script() {
  say "the job script x17b2pavo.sbatch (README.md's, with --cpus-per-task=$cpus):"
  sed 's/^/    /' "$1/x17b2pavo.sbatch"
}

# ---- what a check looks at ----------------------------------------------------------------------

# NUL-ended names of the files in a folder, sorted.
names_in() { (cd "$1" && find . -mindepth 1 -printf '%P\0' | LC_ALL=C sort -z); }

# NUL-ended "name inode mtime" of the files in a folder, sorted.
snapshot() { (cd "$1" && find . -mindepth 1 -printf '%P %i %T@\0' | LC_ALL=C sort -z); }

# The outputs in SITE/out are exactly one per scan, no other file, each the bytes of x17b2pavo.
outputs_are_references() {
  local site="$1" name bad=0
  if ! cmp -s <(names_in "$site/out") <(names_in "$work/ref"); then
    say "  files in out/ that no scan has (+) or outputs missing (-):"
    diff <(names_in "$work/ref" | show_names) <(names_in "$site/out" | show_names) | grep '^[<>]' |
      sed 's/^</-/; s/^>/+/'
    return 1
  fi
  while IFS= read -r -d '' name; do
    cmp -s "$site/out/$name" "$work/ref/$name" || { say "  differs from x17b2pavo's: out/$name"; bad=1; }
  done < <(names_in "$site/out")
  return "$bad"
}

# Every entry of the first snapshot is in the second, same inode and time: nothing rewritten.
unchanged_since() {
  local before="$1" after="$2" changed
  changed="$(LC_ALL=C comm -z -23 "$before" "$after" | show_names)"
  [[ -z "$changed" ]] || { say "  outputs written again:"; echo "$changed"; return 1; }
}

# The summary lines in the given files, added up: "lines scans converted skipped failed".
summaries() {
  (($#)) || { echo 0 0 0 0 0; return; }
  cat "$@" | awk '
    match($0, /^[0-9]+ scans: [0-9]+ converted( \([0-9]+ with warnings\))?, [0-9]+ skipped, [0-9]+ failed$/) {
      gsub(/\([0-9]+ with warnings\)/, "")
      gsub(/[^0-9 ]/, "")
      split($0, n, " +")
      lines++; scans += n[1]; converted += n[2]; skipped += n[3]; failed += n[4]
    }
    END { print lines + 0, scans + 0, converted + 0, skipped + 0, failed + 0 }'
}

# expect_summaries WHAT "LINES SCANS CONVERTED SKIPPED FAILED" FILES...
expect_summaries() {
  local what="$1" want="$2" got
  shift 2
  got="$(summaries "$@")"
  [[ "$got" == "$want" ]] ||
    { say "  $what: summaries (lines scans converted skipped failed) $got, wanted $want"; return 1; }
}

# The outputs of share K of SHARES of a list: NUL-ended names of out/, sorted.
share_outputs() {
  local list="$1" k="$2" shares="$3" index=0 scan stem
  while IFS= read -r -d '' scan; do
    if ((index % shares == k)); then
      stem="${scan##*/}"
      printf '%s.pavo\0' "${stem%.*}"
    fi
    index=$((index + 1))
  done <"$list" | LC_ALL=C sort -z
}

count_names() { tr -cd '\0' | wc -c; }

# ---- Slurm --------------------------------------------------------------------------------------

start_slurm() {
  local dir="$work/slurm" ports
  mkdir -p "$dir/state" "$dir/spool"
  mungekey --create --keyfile="$dir/munge.key"
  start_daemon munged munged --foreground --force --socket="$dir/munge.socket" \
    --key-file="$dir/munge.key" --pid-file="$dir/munged.pid" --seed-file="$dir/munged.seed"
  wait_for "munged's socket" test -S "$dir/munge.socket"
  ports=("$(free_port 127.0.0.1)" "$(free_port 127.0.0.1)")
  cat >"$dir/slurm.conf" <<EOF
ClusterName=scaleout
SlurmctldHost=localhost
SlurmUser=root
SlurmdUser=root
SlurmctldPort=${ports[0]}
SlurmdPort=${ports[1]}
AuthType=auth/munge
AuthInfo=socket=$dir/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MinJobAge=3600
KillWait=5
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=scaleout Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF="$dir/slurm.conf"
  start_daemon slurmctld slurmctld -D -f "$SLURM_CONF"
  start_daemon slurmd slurmd -D -N localhost -f "$SLURM_CONF"
  wait_for "the node to be idle" node_idle
  say "slurm: munged, slurmctld and slurmd (pids ${daemon_pids[*]}) up, one node of $cpus processors"
}

node_idle() { [[ "$(sinfo -h -N -o %T 2>/dev/null)" == idle ]]; }

# wait_for WHAT COMMAND...: up to 30 s until the command succeeds.
wait_for() {
  local what="$1" tries
  shift
  for ((tries = 0; tries < 150; tries++)); do
    "$@" 2>/dev/null && return 0
    sleep 0.2
  done
  die "timed out waiting for $what"
}

# The job number that the block's sbatch printed.
submitted_job() { sed -n 's/^Submitted batch job \([0-9]*\)$/\1/p' "$1/block.out" | tail -n 1; }

# One line per record of the array: "TASK STATE EXITCODE STDOUT" (TASK may be a range for tasks
# that never started).
task_records() {
  scontrol show job -o "$1" 2>/dev/null | awk '{
    delete f
    for (i = 1; i <= NF; i++) { eq = index($i, "="); if (eq) f[substr($i, 1, eq - 1)] = substr($i, eq + 1) }
    print f["ArrayTaskId"], f["JobState"], f["ExitCode"], f["StdOut"]
  }' | sort -n
}

# The task numbers of the records in a state, ranges such as 3-15 spelt out.
tasks_in_state() {
  task_records "$1" | awk -v state="$2" '$2 == state {
    n = split($1, parts, ",")
    for (i = 1; i <= n; i++) {
      sub(/%.*/, "", parts[i])
      if (split(parts[i], ends, "-") == 2) for (t = ends[1]; t <= ends[2]; t++) print t
      else print parts[i]
    }
  }' | sort -n
}

# Up to 5 minutes until no task of the job is pending or running.
wait_for_job() {
  local job="$1" tries
  for ((tries = 0; tries < 1500; tries++)); do
    [[ -z "$(squeue -h -r -j "$job" -o %i 2>/dev/null)" ]] && return 0
    if ! daemon_alive slurmctld || ! daemon_alive slurmd; then die "a Slurm daemon ended while job $job ran"; fi
    sleep 0.2
  done
  die "job $job did not end within 5 minutes"
}

# The logs of the tasks of a job that are in a state.
task_logs() { task_records "$1" | awk -v state="$2" '$2 == state {print $4}'; }

show_tasks() { task_records "$1" | awk '{printf " %s:%s", $1, $2} END {print ""}' | sed "s/^/    tasks of job $1:/"; }

# Every task 0..SHARES-1 of the job COMPLETED with exit code 0.
all_tasks_completed() {
  local job="$1" shares="$2"
  if [[ "$(tasks_in_state "$job" COMPLETED | tr '\n' ' ')" != "$(seq -s ' ' 0 $((shares - 1))) " ]] ||
    [[ -n "$(task_records "$job" | awk '$3 != "0:0"')" ]]; then
    task_records "$job" | sed 's/^/    /'
    return 1
  fi
}

# Each task's summary counts exactly the scans of its share, all converted.
each_task_converted_its_share() {
  local job="$1" site="$2" shares="$3" k log bad=0 want
  for ((k = 0; k < shares; k++)); do
    log="$(task_records "$job" | awk -v k="$k" '$1 == k {print $4}')"
    want="$(share_outputs "$site/scans.list" "$k" "$shares" | count_names)"
    expect_summaries "task $k" "1 $want $want 0 0" "$log" || bad=1
  done
  return "$bad"
}

# Every call of x17b2pavo-batch by a task of the job had -j set to the task's processors.
tasks_used_their_processors() {
  local job="$1" calls
  calls="$(awk -F'\t' -v job="slurm $1" '$1 ~ "^" job " "' "$work/calls.log")"
  if [[ -z "$calls" ]] || grep -qv -- "-j $cpus " <<<"$calls"; then
    say "  calls of job $job:"
    echo "$calls"
    return 1
  fi
}

# The block's SHARES= line followed by the given lines, as the README runs its resubmissions in
# the shell of the submission.
resubmission_block() {
  { grep -m 1 '^SHARES=[0-9]*$' "$blocks/block2"; printf '%s\n' "$@"; } >"$work/resubmission"
  echo "$work/resubmission"
}

# The block failed, wrote the collision, and submitted nothing: no job, no output.
nothing_submitted() {
  local site="$1" status="$2"
  ((status != 0)) && grep -q 'same output' "$site/block.err" && [[ -z "$(submitted_job "$site")" ]] &&
    [[ -z "$(squeue -h -o %i)" && -z "$(ls -A "$site/out")" ]]
}

# scans.list holds every scan once, and the dry run planned one output for each.
list_is_every_scan() {
  local site="$1"
  cmp -s <(LC_ALL=C sort -z "$site/scans.list") <(LC_ALL=C sort -z "$work/scans.all") &&
    [[ "$(grep -c ' -> ' "$site/scans.plan")" -eq "$scan_count" ]]
}

# The cancelled job: the task that ran and every task not done show CANCELLED.
cancelled_while_running() {
  local job="$1" running="$2" cancelled completed
  cancelled="$(tasks_in_state "$job" CANCELLED | tr '\n' ' ')"
  completed="$(tasks_in_state "$job" COMPLETED | wc -l)"
  [[ " $cancelled" == *" $running "* ]] && (($(wc -w <<<"$cancelled") + completed == shares))
}

# outputs_of_share_are_references SITE NAMES-FILE
outputs_of_share_are_references() {
  local site="$1" name
  while IFS= read -r -d '' name; do
    cmp -s "$site/out/$name" "$work/ref/$name" || { say "  missing or different: out/$name"; return 1; }
  done <"$2"
}

slurm_refused_list() {
  local site status=0
  site="$(new_site refused)"
  cp "$site/data/plain.dat" "$site/data/more scans/plain.dat"
  say "slurm: the submission block on a list with two scans of one output"
  run_block "$site" "$blocks/block2" || status=$?
  check "the dry run refuses a list with two scans of one output, and nothing is submitted" \
    nothing_submitted "$site" "$status"
}

slurm_full_run() {
  local site job logs
  site="$(new_site full)"
  show_job_script "$site"
  say "slurm: the submission block over $scan_count scans (job script with --cpus-per-task=$cpus)"
  run_block "$site" "$blocks/block2" || die "the submission block failed"
  job="$(submitted_job "$site")"
  [[ -n "$job" ]] || die "the submission block submitted no job"
  check "the list holds every scan once, and the dry run plans an output for each" list_is_every_scan "$site"
  wait_for_job "$job"
  show_tasks "$job"
  check "all $shares tasks of job $job completed" all_tasks_completed "$job" "$shares"
  mapfile -t logs < <(task_logs "$job" COMPLETED)
  check "the tasks' summaries add up to every scan converted once" \
    expect_summaries "all tasks" "$shares $scan_count $scan_count 0 0" "${logs[@]}"
  check "each task converted exactly the scans of its share" \
    each_task_converted_its_share "$job" "$site" "$shares"
  check "each task ran x17b2pavo-batch with -j $cpus, its processors" tasks_used_their_processors "$job"
  check "out/ holds one output per scan, each the bytes that x17b2pavo writes" outputs_are_references "$site"
  full_site="$site"
}

slurm_cancel_and_resume() {
  local site job records running="" present done_logs logs resubmitted tries
  site="$(new_site cancelled)"
  say "slurm: the submission block again, each task waiting $start_delay s before converting"
  run_block "$site" "$blocks/block2" X17B_CHECK_START_DELAY="$start_delay" ||
    die "the submission block failed"
  job="$(submitted_job "$site")"
  [[ -n "$job" ]] || die "the submission block submitted no job"
  # Cancel once two tasks are done and a third runs (in its wait, which outlasts the polling),
  # both seen in one look at the job.
  for ((tries = 0; tries < 600; tries++)); do
    records="$(task_records "$job")"
    running="$(awk '$2 == "RUNNING" {print $1; exit}' <<<"$records")"
    [[ -n "$running" && "$(awk '$2 == "COMPLETED"' <<<"$records" | wc -l)" -ge 2 ]] && break
    running=""
    sleep 0.2
  done
  [[ -n "$running" ]] || die "job $job never had two tasks done and one running"
  say "slurm: scancel $job while task $running runs"
  scancel "$job"
  wait_for_job "$job"
  show_tasks "$job"
  check "the running task $running and the tasks not done show CANCELLED" \
    cancelled_while_running "$job" "$running"
  present="$(names_in "$site/out" | count_names)"
  mapfile -t done_logs < <(task_logs "$job" COMPLETED)
  check "the ${#done_logs[@]} tasks done before the cancel converted their $present scans once" \
    expect_summaries "tasks done" "${#done_logs[@]} $present $present 0 0" "${done_logs[@]}"
  snapshot "$site/out" >"$work/cancelled.before"

  say "slurm: the whole array submitted again (the README's resubmission)"
  run_block "$site" "$(resubmission_block "$(sed -n 1p "$blocks/block3")")" ||
    die "the resubmission failed"
  resubmitted="$(submitted_job "$site")"
  [[ -n "$resubmitted" ]] || die "the resubmission submitted no job"
  wait_for_job "$resubmitted"
  show_tasks "$resubmitted"
  check "all $shares tasks of job $resubmitted completed" all_tasks_completed "$resubmitted" "$shares"
  mapfile -t logs < <(task_logs "$resubmitted" COMPLETED)
  check "it converted the $((scan_count - present)) missing scans once and skipped the $present done" \
    expect_summaries "resubmitted" "$shares $scan_count $((scan_count - present)) $present 0" "${logs[@]}"
  snapshot "$site/out" >"$work/cancelled.after"
  check "the $present outputs converted before the cancel are untouched (inode, time)" \
    unchanged_since "$work/cancelled.before" "$work/cancelled.after"
  check "out/ holds one output per scan, each the bytes that x17b2pavo writes" outputs_are_references "$site"
}

slurm_one_share() {
  local site="$full_site" line k next job want logs
  line="$(sed -n 2p "$blocks/block3")"
  k="$(sed -n 's/^sbatch --array=\([0-9]*\) .*/\1/p' <<<"$line")"
  next=$(((k + 1) % shares))
  share_outputs "$site/scans.list" "$k" "$shares" >"$work/share.k"
  share_outputs "$site/scans.list" "$next" "$shares" | head -z -n 1 >"$work/share.next"
  want="$(count_names <"$work/share.k")"
  (cd "$site/out" && xargs -0 rm -- <"$work/share.k" && xargs -0 rm -- <"$work/share.next")
  say "slurm: share $k submitted alone (the README's line), its $want outputs and one of share $next removed"
  snapshot "$site/out" >"$work/share.before"
  run_block "$site" "$(resubmission_block "$line")" || die "the resubmission of share $k failed"
  job="$(submitted_job "$site")"
  [[ -n "$job" ]] || die "the resubmission of share $k submitted no job"
  wait_for_job "$job"
  show_tasks "$job"
  check "job $job is task $k alone, completed" \
    test "$(task_records "$job" | cut -d' ' -f1-3)" == "$k COMPLETED 0:0"
  mapfile -t logs < <(task_logs "$job" COMPLETED)
  check "it converted the $want scans of share $k, and no other" \
    expect_summaries "share $k" "1 $want $want 0 0" "${logs[@]}"
  check "share $next's removed output is still missing" \
    test ! -e "$site/out/$(tr -d '\0' <"$work/share.next")"
  snapshot "$site/out" >"$work/share.after"
  check "every other output is untouched (inode, time)" \
    unchanged_since "$work/share.before" "$work/share.after"
  check "share $k's outputs are back, the bytes that x17b2pavo writes" \
    outputs_of_share_are_references "$site" "$work/share.k"
}

# ---- GNU parallel over ssh ----------------------------------------------------------------------

start_sshd() {
  local dir="$work/ssh" login index=0 port addresses=()
  mkdir -m 700 "$dir"
  ssh-keygen -q -t ed25519 -N '' -C scaleout-host -f "$dir/host_key"
  ssh-keygen -q -t ed25519 -N '' -C scaleout-user -f "$dir/user_key"
  cp "$dir/user_key.pub" "$dir/authorized_keys"
  for login in "${logins[@]}"; do addresses+=("127.0.0.$((++index))"); done
  port="$(free_port "${addresses[@]}")"
  {
    for address in "${addresses[@]}"; do echo "ListenAddress $address:$port"; done
    cat <<EOF
HostKey $dir/host_key
PidFile $dir/sshd.pid
AuthorizedKeysFile $dir/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
SetEnv PATH=$bin:/usr/local/bin:/usr/bin:/bin
EOF
  } >"$dir/sshd_config"
  # The README's logins, each one of the addresses, known by the host key made here.
  index=0
  {
    for login in "${logins[@]}"; do printf 'Host %s\n  HostName %s\n' "$login" "${addresses[index++]}"; done
    cat <<EOF
Host *
  Port $port
  User root
  IdentityFile $dir/user_key
  IdentitiesOnly yes
  BatchMode yes
  StrictHostKeyChecking yes
  UserKnownHostsFile $dir/known_hosts
  HostKeyAlias scaleout-node
EOF
  } >"$dir/ssh_config"
  echo "scaleout-node $(cut -d' ' -f1,2 "$dir/host_key.pub")" >"$dir/known_hosts"
  if [[ ! -d /run/sshd ]]; then
    mkdir -m 755 /run/sshd
    privsep_made=/run/sshd
  fi
  start_daemon sshd /usr/sbin/sshd -D -e -f "$dir/sshd_config"
  ssh_command="ssh -F $dir/ssh_config"
  for login in "${logins[@]}"; do wait_for "ssh to $login" ssh -n -F "$dir/ssh_config" "$login" true; done
  say "ssh: sshd (pid ${daemon_pids[-1]}) on ${addresses[*]} port $port as ${logins[*]}"
}

# The calls noted since line FROM of the calls' log, but the local dry run: "ADDRESS" lines.
remote_calls() { tail -n +"$1" "$work/calls.log" | awk -F'\t' '$2 !~ /--dry-run/ {print $1}'; }

# Every call ran through ssh, and each login got some.
calls_spread_over_logins() {
  local from="$1"
  remote_calls "$from" | sort | uniq -c | sed 's/^/   /'
  ! remote_calls "$from" | grep -qv '^ssh ' &&
    [[ "$(remote_calls "$from" | sort -u | wc -l)" -eq "${#logins[@]}" ]]
}

# GNU parallel wrote no warning or error of its own ("parallel: ..." lines).
parallel_said_nothing() {
  ! grep '^parallel: ' "$1" | sed 's/^/    /' | grep .
}

parallel_over_ssh() {
  local site calls_from environment calls
  IFS=, read -r -a logins <<<"$(sed -n 's/.*--sshlogin \([^ ]*\).*/\1/p' "$blocks/block4")"
  ((${#logins[@]} > 0)) || die "no --sshlogin list in README.md's parallel block"
  start_sshd
  site="$(new_site parallel)"
  mkdir -m 700 "$work/parallel-home"
  touch "$work/parallel-home/will-cite"
  environment=(PARALLEL_SSH="$ssh_command" PARALLEL_HOME="$work/parallel-home")
  calls_from=$(($(wc -l <"$work/calls.log") + 1))
  say "parallel: the README's block over $scan_count scans"
  run_block "$site" "$blocks/block4" "${environment[@]}" || die "the parallel block failed"
  check "every call ran through ssh, and each of ${logins[*]} got some" calls_spread_over_logins "$calls_from"
  check "parallel gave no warning" parallel_said_nothing "$site/block.err"
  calls="$(remote_calls "$calls_from" | wc -l)"
  check "the $calls calls' summaries add up to every scan converted once" \
    expect_summaries "parallel" "$calls $scan_count $scan_count 0 0" "$site/block.err"
  check "out/ holds one output per scan, each the bytes that x17b2pavo writes" outputs_are_references "$site"
  snapshot "$site/out" >"$work/parallel.before"
  say "parallel: the same block again"
  calls_from=$(($(wc -l <"$work/calls.log") + 1))
  run_block "$site" "$blocks/block4" "${environment[@]}" || die "the parallel block failed when run again"
  calls="$(remote_calls "$calls_from" | wc -l)"
  check "run again, it converts nothing" \
    expect_summaries "parallel again" "$calls $scan_count 0 $scan_count 0" "$site/block.err"
  snapshot "$site/out" >"$work/parallel.after"
  check "and leaves every output untouched (inode, time)" \
    unchanged_since "$work/parallel.before" "$work/parallel.after"
}

# ---- main ---------------------------------------------------------------------------------------

main() {
  [[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
  [[ "$(id -u)" -eq 0 ]] || die "run as root: it installs packages and starts daemons"
  build="$(cd "$1" && pwd)"
  [[ -x "$build/x17b2pavo" && -x "$build/x17b2pavo-batch" ]] || die "no x17b2pavo and x17b2pavo-batch in $1"
  SECONDS=0
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
  work="$(mktemp -d /tmp/scaleout.XXXXXX)"
  chmod 711 "$work" # munged wants the folders above its socket open to all
  mkdir "$work/logs" "$work/blocks" "$work/bin"
  blocks="$work/blocks"
  bin="$work/bin"
  cpus="$(nproc)"
  extract_blocks "$blocks"
  shares="$(sed -n 's/^SHARES=\([0-9]*\)$/\1/p' "$blocks/block2")"
  say "README.md: the job script, the submission, the resubmissions and the parallel block; SHARES=$shares"

  # x17b2pavo-batch as the recipes find it on PATH: notes the call, then runs the build's.
  : >"$work/calls.log"
  cat >"$bin/x17b2pavo-batch" <<EOF
#!/bin/sh
if [ -n "\${SLURM_ARRAY_JOB_ID:-}" ]; then from="slurm \$SLURM_ARRAY_JOB_ID \$SLURM_ARRAY_TASK_ID"
elif [ -n "\${SSH_CONNECTION:-}" ]; then from="ssh \$(echo "\$SSH_CONNECTION" | cut -d' ' -f3)"
else from=local; fi
printf '%s\t%s \n' "\$from" "\$*" >>"$work/calls.log"
if [ -n "\${SLURM_ARRAY_JOB_ID:-}" ] && [ -n "\${X17B_CHECK_START_DELAY:-}" ]; then
  sleep "\$X17B_CHECK_START_DELAY"
fi
exec "$build/x17b2pavo-batch" "\$@"
EOF
  chmod 755 "$bin/x17b2pavo-batch"

  install_missing_packages
  make_scans
  start_slurm
  slurm_refused_list
  slurm_full_run
  slurm_cancel_and_resume
  slurm_one_share
  parallel_over_ssh
  say "done in $SECONDS s"
  echo "scaleout_check: $passed passed, $failed failed"
  ((failed == 0))
}

main "$@"
