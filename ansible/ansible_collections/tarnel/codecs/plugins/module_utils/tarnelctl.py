# -*- coding: utf-8 -*-
# What the modules share: the options that say which machine tarnelctl works
# on, finding tarnelctl, running it and reading its JSON. tarnelctl owns all
# codec logic; the modules only hand it their arguments and pass on what it
# says, its error messages included.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

# The options of every module (documented in the doc fragment "machine").
MACHINE_OPTIONS = dict(
    machine=dict(type='path'),
    backend=dict(type='str', choices=['machine', 'wine']),
    view=dict(type='int', choices=[32, 64]),
    wait=dict(type='float'),
    tarnelctl=dict(type='path'),
)

USAGE_MARK = '\n\nUsage:'
PREFIX = 'tarnelctl: '


def argument_spec(**own):
    options = dict(MACHINE_OPTIONS)
    options.update(own)
    return options


def program(module):
    """tarnelctl as the option names it, else the one found on PATH."""
    given = module.params.get('tarnelctl')
    if given:
        if not os.path.isfile(given) or not os.access(given, os.X_OK):
            module.fail_json(msg="tarnelctl '%s' is not an executable file" % given)
        return given
    found = module.get_bin_path('tarnelctl')
    if not found:
        module.fail_json(msg='tarnelctl was not found on the PATH of the host; name it with the option tarnelctl')
    return found


def command(module, *words):
    """tarnelctl with the options that come before its command, then the command."""
    p = module.params
    args = [program(module)]
    if p.get('machine'):
        args += ['--machine', p['machine']]
    if p.get('backend'):
        args += ['--backend', p['backend']]
    if p.get('view'):
        args += ['--view', str(p['view'])]
    if p.get('wait') is not None:
        args += ['--wait', '%g' % p['wait']]
    return args + list(words)


def message(stderr):
    """tarnelctl's own words: its lines without their prefix, without the usage text."""
    text = stderr.split(USAGE_MARK, 1)[0]
    lines = [line[len(PREFIX):] if line.startswith(PREFIX) else line for line in text.strip().splitlines()]
    return '\n'.join(line for line in lines if line)


def run(module, args):
    """The standard output of tarnelctl; a failure of tarnelctl fails the task with its message."""
    rc, out, err = module.run_command(args, check_rc=False, encoding='utf-8', errors='replace')
    if rc != 0:
        module.fail_json(msg=message(err) or 'tarnelctl ended with status %d' % rc, rc=rc, stdout=out, stderr=err,
                         cmd=args)
    return out


def run_json(module, args):
    out = run(module, args)
    try:
        return json.loads(out)
    except ValueError as e:
        module.fail_json(msg='tarnelctl printed no JSON document (%s)' % e, stdout=out, cmd=args)
