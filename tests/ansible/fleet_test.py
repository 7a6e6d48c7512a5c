#!/usr/bin/env python3
"""The Ansible collection tarnel.codecs on a fleet of machines on this computer.

  fleet_test.py fleet --tarnelctl PATH --collections DIR [--hosts N] [--forks N]
  fleet_test.py errors --tarnelctl PATH --collections DIR
  fleet_test.py doc --collections DIR

`fleet` makes N machine folders (20 unless told) with `tarnelctl init`, of
both families, some of them shaped as Wine prefixes keep their codecs (Wine
has run there, and SYSTEM.INI's [drivers32] holds codecs beside the
registry's), some already in the state the playbook asks for, one with a
read-only store. It then runs fleet.yml (no yuy2 in service, mjpg decoded by
kwmjpeg.dll) on all of them through a local connection:
  - in check mode: the hosts that need a change say so, and no store file
    changes (bytes and times);
  - for real: exactly those hosts change, the read-only one fails with
    tarnelctl's message and the others succeed;
  - again: no host changes anything, and no store file is written;
then facts.yml gathers every host's lists: each host is in the state (the
read-only one as it was), and the fleet's CSV table holds every host's rows
under one header.

To add other kinds of machine (a live Wine prefix served by the wine
backend, say), add a maker to KINDS and name the kind in HOSTS; a host's
inventory entry takes tarnel_backend and tarnel_view for it.

`errors` runs errors.yml: the modules fail with tarnelctl's own message
where tarnelctl refuses (a usage error's text left out), and where there is
no tarnelctl.

`doc` checks that ansible-doc shows both modules with their options.

Exit status 77 (skipped) when ansible-core is not installed; the reason is
the last line printed.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
HERE = os.path.dirname(os.path.abspath(__file__))
STORE_FILES = ('system.reg', 'user.reg', 'drive_c/windows/system.ini')

# What fleet.yml asks for.
OFF = 'yuy2'
SET, DRIVER = 'mjpg', 'kwmjpeg.dll'


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def need_ansible(*programs):
    for p in programs:
        if not shutil.which(p):
            print('ansible-core is not installed (%s is not on the PATH): the Ansible collection is not tested' % p)
            sys.exit(SKIPPED)


def interpreter():
    # Debian's own Python runs the modules on the hosts, as it runs Ansible.
    return '/usr/bin/python3' if os.path.exists('/usr/bin/python3') else sys.executable


# ---- machines ----------------------------------------------------------------

def run(args, **kw):
    r = subprocess.run(args, capture_output=True, text=True, **kw)
    if r.returncode != 0:
        raise Failure('%s failed (%d): %s' % (' '.join(args), r.returncode, r.stderr.strip()))
    return r.stdout


def shaped_as_prefix(root):
    """A machine as a Wine prefix keeps its codecs: Wine has run on it, and
    SYSTEM.INI's [drivers32] holds codec lines of its own."""
    os.makedirs(os.path.join(root, 'dosdevices'))
    ini = os.path.join(root, 'drive_c/windows/system.ini')
    with open(ini, 'rb') as f:
        text = f.read()
    head = b'[drivers32]\r\n'
    check(head in text, 'the demo machine has no [drivers32] section in %s' % ini)
    text = text.replace(head, head + b'vidc.mjpg=lcmjpeg.dll\r\nvidc.kwd3=kwdelta.dll\r\n', 1)
    with open(ini, 'wb') as f:
        f.write(text)


KINDS = {
    'nt': lambda ctl, root: run([ctl, 'init', root, '--family', 'nt']),
    '9x': lambda ctl, root: run([ctl, 'init', root, '--family', '9x']),
    'nt-prefix': lambda ctl, root: (run([ctl, 'init', root, '--family', 'nt']), shaped_as_prefix(root)),
}


def hosts(count):
    """(name, kind, what is done to it before the play) for each host."""
    kinds = ['nt', '9x', 'nt-prefix', '9x']
    ready = {5: 'both', 10: 'both', 15: 'both', 8: 'off', 12: 'set', 13: 'read-only'}
    return [('host%02d' % i, kinds[i % len(kinds)], ready.get(i)) for i in range(1, count + 1)]


def prepare(ctl, root, how):
    if how in ('off', 'both'):
        run([ctl, '--machine', root, 'ensure', OFF, '--state', 'inactive'])
    if how in ('set', 'both'):
        run([ctl, '--machine', root, 'ensure', SET, '--state', 'active', '--driver', DRIVER])
    if how == 'read-only':
        os.chmod(os.path.join(root, 'system.reg'), 0o444)


def stamps(root):
    """Each store file: its bytes, size, inode and time."""
    out = {}
    for name in STORE_FILES:
        path = os.path.join(root, name)
        if os.path.exists(path):
            st = os.stat(path)
            with open(path, 'rb') as f:
                out[name] = (f.read(), st.st_size, st.st_ino, st.st_mtime_ns)
    return out


def lists(ctl, root):
    return json.loads(run([ctl, '--machine', root, 'list', '--json']))


def changes_needed(doc):
    """The tasks of fleet.yml that change this machine: 0, 1 or 2."""
    off = any(r['fourcc'].lower() == OFF for r in doc['active'])
    drivers = {r['driver'].lower() for r in doc['active'] if r['fourcc'].lower() == SET}
    return int(off) + int(drivers != {DRIVER})


def in_state(doc):
    return changes_needed(doc) == 0


# ---- ansible ------------------------------------------------------------------

RECAP = re.compile(r'^(\S+)\s+:\s+ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)')
FATAL = re.compile(r'^fatal: \[(\S+)\]: FAILED! => (\{.*\})\s*$')


class Play:
    def __init__(self, work, collections, forks):
        self.work = work
        self.env = dict(os.environ)
        self.env.update({
            # Nothing of the user's: Ansible's own files go below the work folder.
            'HOME': os.path.join(work, 'home'),
            'ANSIBLE_CONFIG': os.path.join(work, 'ansible.cfg'),
            'ANSIBLE_LOCAL_TEMP': os.path.join(work, 'tmp'),
            'ANSIBLE_REMOTE_TMP': os.path.join(work, 'tmp'),
            'ANSIBLE_COLLECTIONS_PATH': collections,
            'ANSIBLE_FORKS': str(forks),
            'ANSIBLE_PIPELINING': 'True',
            'ANSIBLE_NOCOLOR': 'True',
            'ANSIBLE_STDOUT_CALLBACK': 'default',
            'ANSIBLE_RETRY_FILES_ENABLED': 'False',
            'ANSIBLE_DEPRECATION_WARNINGS': 'False',
        })
        os.makedirs(self.env['HOME'], exist_ok=True)
        with open(self.env['ANSIBLE_CONFIG'], 'w') as f:
            f.write('[defaults]\n')
        self.seconds = {}

    def __call__(self, label, playbook, inventory, *extra):
        t0 = time.monotonic()
        r = subprocess.run(['ansible-playbook', '-i', inventory, os.path.join(HERE, playbook)] + list(extra),
                           capture_output=True, text=True, env=self.env, cwd=self.work)
        self.seconds[label] = time.monotonic() - t0
        recap, fatal = {}, {}
        for line in r.stdout.splitlines():
            m = RECAP.match(line)
            if m:
                recap[m.group(1)] = dict(ok=int(m.group(2)), changed=int(m.group(3)), unreachable=int(m.group(4)),
                                         failed=int(m.group(5)))
            m = FATAL.match(line)
            if m:
                fatal[m.group(1)] = json.loads(m.group(2))
        self.last = r
        return r.returncode, recap, fatal


def fleet(args):
    need_ansible('ansible-playbook')
    ctl = os.path.abspath(args.tarnelctl)
    work = tempfile.mkdtemp(prefix='tarnel-fleet-')
    play = Play(work, os.path.abspath(args.collections), args.forks)
    try:
        began = time.monotonic()
        machines = {}
        inventory = {'fleet': {'vars': {'ansible_connection': 'local', 'ansible_python_interpreter': interpreter(),
                                        'tarnelctl': ctl},
                               'hosts': {}}}
        for name, kind, how in hosts(args.hosts):
            root = os.path.join(work, 'machines', name)
            KINDS[kind](ctl, root)
            prepare(ctl, root, how)
            machines[name] = (root, how)
            inventory['fleet']['hosts'][name] = {'tarnel_machine': root, 'tarnel_kind': kind}
        inventory_file = os.path.join(work, 'inventory.json')
        with open(inventory_file, 'w') as f:
            json.dump(inventory, f, indent=1)
        read_only = [n for n, (_, how) in machines.items() if how == 'read-only']
        before = {n: lists(ctl, root) for n, (root, _) in machines.items()}
        expected = {n: changes_needed(doc) for n, doc in before.items()}
        check(sum(1 for n in expected if expected[n]) >= len(machines) // 2, 'most hosts need a change: %s' % expected)
        check(any(v == 0 for v in expected.values()), 'some hosts are in the state already')
        untouched = {n: stamps(root) for n, (root, _) in machines.items()}
        made = time.monotonic() - began

        def fail(what):
            raise Failure('%s\n--- ansible-playbook said ---\n%s\n%s' % (what, play.last.stdout, play.last.stderr))

        # 1. Check mode: what would change, and nothing written.
        rc, recap, fatal = play('check', 'fleet.yml', inventory_file, '--check', '--diff')
        if rc != 0 or fatal:
            fail('the check run failed')
        for n in machines:
            if recap.get(n, {}).get('changed') != expected[n]:
                fail('check run: %s reports %s, %d changes were expected' % (n, recap.get(n), expected[n]))
            if stamps(machines[n][0]) != untouched[n]:
                fail('check run: %s: a store file was written' % n)
        # The diff of a host whose mjpg driver changes: its old line goes, the new one comes.
        n = next(n for n in machines if DRIVER not in {r['driver'] for r in before[n]['active'] if r['fourcc'] == SET})
        shown = play.last.stdout
        for line in ('--- before: %s %s' % (machines[n][0], SET), '+++ after: %s %s' % (machines[n][0], SET)):
            if line not in shown:
                fail('check run: the diff of %s lacks "%s"' % (n, line))
        if not re.search(r'^\+active +\S+ +%s +%s$' % (SET, re.escape(DRIVER)), shown, re.M):
            fail('check run: no diff shows %s of %s coming into service' % (SET, DRIVER))

        # 2. The change: the hosts that need it change, the read-only one fails with tarnelctl's message.
        rc, recap, fatal = play('first run', 'fleet.yml', inventory_file)
        if rc == 0:
            fail('the first run did not report the read-only host')
        for n in machines:
            r = recap.get(n, {})
            if n in read_only:
                message = "The store file '%s' is read-only (Permission denied); changes are not possible" % \
                    os.path.join(machines[n][0], 'system.reg')
                if r.get('failed') != 1 or fatal.get(n, {}).get('msg') != message:
                    fail('first run: %s should fail with "%s": %s %s' % (n, message, r, fatal.get(n)))
                continue
            if r.get('failed') != 0 or r.get('changed') != expected[n] or n in fatal:
                fail('first run: %s reports %s, %d changes were expected' % (n, r, expected[n]))
        reached = {n: stamps(root) for n, (root, _) in machines.items()}
        for n in machines:
            if (reached[n] == untouched[n]) != (expected[n] == 0 or n in read_only):
                fail('first run: %s: its store files changed where nothing was to change, or the other way' % n)

        # 3. Again: changed=0 everywhere, and not a byte or a time changes.
        rc, recap, fatal = play('second run', 'fleet.yml', inventory_file)
        for n in machines:
            r = recap.get(n, {})
            if r.get('changed') != 0 or r.get('failed') != (1 if n in read_only else 0):
                fail('second run: %s reports %s' % (n, r))
            if stamps(machines[n][0]) != reached[n]:
                fail('second run: %s: a store file was written' % n)

        # 4. The facts: every host in the state, the read-only one as it was, one table of all.
        out_dir = os.path.join(work, 'out')
        os.makedirs(out_dir)
        rc, recap, fatal = play('facts', 'facts.yml', inventory_file, '-e', 'out_dir=' + out_dir)
        if rc != 0:
            fail('the fact gathering failed')
        with open(os.path.join(out_dir, 'facts.json')) as f:
            facts = json.load(f)
        check(sorted(facts) == sorted(machines), 'facts of every host: %s' % sorted(facts))
        for n, doc in facts.items():
            check(doc.get('machine') == n, '%s: the facts name the host' % n)
            if n in read_only:
                check(doc['active'] == before[n]['active'] and doc['inactive'] == before[n]['inactive'],
                      '%s: the read-only machine is as it was' % n)
            else:
                check(in_state(doc), '%s: not in the state: %s' % (n, json.dumps(doc['active'])))
        with open(os.path.join(out_dir, 'fleet-codecs.csv'), 'rb') as f:
            table = f.read().decode('utf-8')
        check(table.endswith('\r\n'), 'the table ends its last line')
        lines = table[:-2].split('\r\n')
        header = 'machine,list,number,fourcc,driver,shortname,description,version,type,store,shadowed_by'
        check(lines[0] == header and lines.count(header) == 1, 'one header line: %r' % lines[:2])
        rows = sum(len(doc['active']) + len(doc['inactive']) for doc in facts.values())
        check(len(lines) == 1 + rows, 'the table holds every host\'s rows: %d lines for %d rows' % (len(lines), rows))
        check({line.split(',', 1)[0] for line in lines[1:]} == set(machines), 'every row leads with its host')

        total = time.monotonic() - began
        cpu = os.times()
        print('fleet of %d hosts (%d forks): %s; machines made in %.1f s; %.1f s in all, %.1f s of processor time' % (
            len(machines), args.forks, ', '.join('%s %.1f s' % kv for kv in play.seconds.items()), made, total,
            cpu.children_user + cpu.children_system))
        print('hosts changed by the first run: %d of %d (one read-only host failed as it should)' % (
            sum(1 for n in expected if expected[n] and n not in read_only), len(machines)))
        return 0
    except Failure as e:
        print('FAILED: %s' % e)
        return 1
    finally:
        if args.keep:
            print('kept: %s' % work)
        else:
            # The read-only files go with their folder.
            shutil.rmtree(work, ignore_errors=True)


def errors(args):
    need_ansible('ansible-playbook')
    ctl = os.path.abspath(args.tarnelctl)
    work = tempfile.mkdtemp(prefix='tarnel-errors-')
    play = Play(work, os.path.abspath(args.collections), 1)
    try:
        root = os.path.join(work, 'machine')
        run([ctl, 'init', root])
        untouched = stamps(root)
        inventory = os.path.join(work, 'inventory.ini')
        with open(inventory, 'w') as f:
            f.write('localhost ansible_connection=local ansible_python_interpreter=%s\n' % interpreter())
        rc, _, _ = play('errors', 'errors.yml', inventory, '-e', json.dumps(dict(machine=root, tarnelctl=ctl,
                                                                                 out_dir=work)))
        if rc != 0:
            raise Failure('the play failed:\n%s\n%s' % (play.last.stdout, play.last.stderr))
        with open(os.path.join(work, 'errors.json')) as f:
            results = json.load(f)
        # tarnelctl's own words, without its prefix and its usage text.
        wanted = {
            'no_driver': "No inactive codec has the FOURCC 'mjpg' with the driver 'nope.dll', and the machine holds "
                         "no driver file 'nope.dll' (ensure puts back codecs the lists hold; it makes no entries); "
                         "nothing was changed",
            'no_view': "The machine '%s' has no 64-bit view: it is a 32-bit machine, whose one view is the 32-bit one"
                       % root,
            'no_machine': "There is no machine to work on: the machine folder '%s-not-there' does not exist; "
                          "'tarnelctl init %s-not-there' makes a demo machine there" % (root, root),
            'no_tarnelctl': "tarnelctl '%s/tarnelctl' is not an executable file" % root,
        }
        for task, msg in wanted.items():
            r = results[task]
            check(r.get('failed') is True and r.get('changed') is False, '%s: failed without change: %s' % (task, r))
            check(r.get('msg') == msg, '%s: the message is "%s", not "%s"' % (task, r.get('msg'), msg))
        check(results['no_driver'].get('rc') == 1 and 'tarnelctl: ' in results['no_driver'].get('stderr', ''),
              'no_driver: tarnelctl\'s status and output come with the failure: %s' % results['no_driver'])
        check(stamps(root) == untouched, 'the machine was written')
        print('the modules fail with tarnelctl\'s messages: %s' % ', '.join(wanted))
        return 0
    except Failure as e:
        print('FAILED: %s' % e)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


def doc(args):
    need_ansible('ansible-doc')
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=os.path.abspath(args.collections), ANSIBLE_NOCOLOR='True')
    work = tempfile.mkdtemp(prefix='tarnel-doc-')
    env['HOME'] = work
    try:
        options = {
            'tarnel.codecs.codec': {'fourcc', 'state', 'driver', 'machine', 'backend', 'view', 'wait', 'tarnelctl'},
            'tarnel.codecs.codec_facts': {'machine_name', 'csv', 'machine', 'backend', 'view', 'wait', 'tarnelctl'},
        }
        for module, wanted in options.items():
            shown = subprocess.run(['ansible-doc', module], capture_output=True, text=True, env=env, cwd=work)
            check(shown.returncode == 0 and 'ERROR' not in shown.stderr and shown.stdout.startswith('> ' + module.upper()),
                  'ansible-doc %s: %s %s' % (module, shown.stdout[:200], shown.stderr))
            for section in ('OPTIONS', 'EXAMPLES', 'RETURN VALUES'):
                check(section in shown.stdout, 'ansible-doc %s shows no %s' % (module, section))
            data = json.loads(subprocess.run(['ansible-doc', '--json', module], capture_output=True, text=True,
                                             env=env, cwd=work).stdout)[module]
            documented = set(data['doc']['options'])
            check(documented == wanted, '%s documents %s, takes %s' % (module, sorted(documented), sorted(wanted)))
            check(data['examples'] and data['return'], '%s: examples and return values' % module)
        print('ansible-doc shows %s' % ', '.join(options))
        return 0
    except Failure as e:
        print('FAILED: %s' % e)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='what', required=True)
    f = sub.add_parser('fleet')
    f.add_argument('--tarnelctl', required=True)
    f.add_argument('--collections', required=True)
    f.add_argument('--hosts', type=int, default=20)
    f.add_argument('--forks', type=int, default=10)
    f.add_argument('--keep', action='store_true', help='keep the machines and the output')
    e = sub.add_parser('errors')
    e.add_argument('--tarnelctl', required=True)
    e.add_argument('--collections', required=True)
    d = sub.add_parser('doc')
    d.add_argument('--collections', required=True)
    args = parser.parse_args()
    return dict(fleet=fleet, errors=errors, doc=doc)[args.what](args)


if __name__ == '__main__':
    sys.exit(main())
