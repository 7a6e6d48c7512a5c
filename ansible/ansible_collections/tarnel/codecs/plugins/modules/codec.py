#!/usr/bin/python
# -*- coding: utf-8 -*-
# One FOURCC's codecs in a stated state, through tarnelctl ensure.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: codec
short_description: Bring a video codec (FOURCC) of a Windows machine or Wine prefix to a state
description:
  - Brings the codec entries of one FOURCC to the state asked for, with the very operations of Tarnel's
    codec window (deactivate, activate with its swap, remove), through C(tarnelctl ensure) on the host.
  - A machine that is in the state already is not written at all, not even its backup of the driver
    entries, and the task reports no change.
  - A change is one save of the machine's codec lists, made whole or not at all; its backup holds the
    active entries from before it.
  - A state that cannot be reached (no inactive entry of the driver asked for, a driver file the machine
    lacks, two inactive entries the driver does not tell apart) fails the task with tarnelctl's reason,
    and nothing is written.
version_added: 1.0.0
author: Halvorin
options:
  fourcc:
    description:
      - The FOURCC of the codec (C(mjpg)); letter case does not matter.
    type: str
    required: true
  state:
    description:
      - C(active) without I(driver) - some entry of the FOURCC is in service; if none is, its one inactive
        entry is put into service.
      - C(active) with I(driver) - the entries of the FOURCC in service are exactly those of that driver;
        the inactive entry of the driver is swapped in for the one in service, other drivers' entries of
        the FOURCC are taken out of service. An entry is never made for a driver that no inactive entry of
        the FOURCC names.
      - C(inactive) - no entry of the FOURCC (of I(driver), when given) is in service. A machine without
        any entry of it is in the state.
      - C(absent) - no entry of the FOURCC (of I(driver), when given) in either list; entries in service
        are taken out of service and removed. The driver files stay.
    type: str
    choices: [active, inactive, absent]
    default: active
  driver:
    description:
      - The driver text of the entries meant, as the store holds it (C(kwmjpeg.dll)); letter case does
        not matter.
    type: str
extends_documentation_fragment:
  - tarnel.codecs.machine
attributes:
  check_mode:
    support: full
    description: Decides and reports what would change; nothing is written.
  diff_mode:
    support: full
    description: Shows the FOURCC's entries before and after, one line each.
seealso:
  - module: tarnel.codecs.codec_facts
'''

EXAMPLES = r'''
- name: No xmv7 codec in service on any capture station
  tarnel.codecs.codec:
    fourcc: xmv7
    state: inactive

- name: Motion JPEG decoded by the Kestrelwood driver
  tarnel.codecs.codec:
    fourcc: mjpg
    state: active
    driver: kwmjpeg.dll

- name: The legacy Varnholt codec gone for good, in the prefix of the old editor
  tarnel.codecs.codec:
    fourcc: vrh1
    state: absent
    machine: /home/edit/.wine-editor
    backend: wine
    view: 32

- name: What would change, without changing it
  tarnel.codecs.codec:
    fourcc: mjpg
    state: active
    driver: lcmjpeg.dll
  check_mode: true
  diff: true
'''

RETURN = r'''
changed:
  description: Whether the machine was changed (in check mode - would be).
  returned: always
  type: bool
before:
  description:
    - The entries of the FOURCC (whatever their driver) in both lists before the task, active ones
      first, each list in its order.
    - C(list) is C(active) or C(inactive); C(store) where the entry lives (C(registry), C(registry-16),
      C(profile), C(inactive)); C(number) the whole Number of an inactive entry, empty for active ones.
  returned: always
  type: list
  elements: dict
  sample: [{"list": "active", "store": "registry", "fourcc": "mjpg", "driver": "lcmjpeg.dll", "number": ""},
           {"list": "inactive", "store": "inactive", "fourcc": "mjpg", "driver": "kwmjpeg.dll", "number": "001"}]
after:
  description: The same entries after the task (in check mode - as they would be).
  returned: always
  type: list
  elements: dict
  sample: [{"list": "active", "store": "registry", "fourcc": "mjpg", "driver": "kwmjpeg.dll", "number": ""},
           {"list": "inactive", "store": "inactive", "fourcc": "mjpg", "driver": "lcmjpeg.dll", "number": "004"}]
changes:
  description:
    - The codecs that changed place, as tarnelctl's other commands report them; C(change) is
      C(deactivated), C(activated), C(removed) or C(replaced) (taken out of service and removed; the
      backup of the driver entries still holds it).
  returned: always
  type: list
  elements: dict
  sample: [{"change": "deactivated", "fourcc": "mjpg", "driver": "lcmjpeg.dll", "number": "004"},
           {"change": "activated", "fourcc": "mjpg", "driver": "kwmjpeg.dll", "number": "001"}]
log:
  description: Tarnel's activity log lines of the run.
  returned: always
  type: list
  elements: str
report:
  description: The whole JSON document of C(tarnelctl ensure --json --diff).
  returned: always
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tarnel.codecs.plugins.module_utils.tarnelctl import argument_spec, command, run_json


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(
            fourcc=dict(type='str', required=True),
            state=dict(type='str', default='active', choices=['active', 'inactive', 'absent']),
            driver=dict(type='str'),
        ),
        supports_check_mode=True,
    )
    p = module.params
    if not p['fourcc'].strip():
        module.fail_json(msg='fourcc is empty')
    words = ['ensure', p['fourcc'], '--state', p['state']]
    if p['driver']:
        words += ['--driver', p['driver']]
    words += ['--json', '--diff']
    if module.check_mode:
        words.append('--check')
    report = run_json(module, command(module, *words))

    result = dict(
        changed=bool(report.get('changed')),
        before=report.get('before', []),
        after=report.get('after', []),
        changes=report.get('changes', []),
        log=report.get('log', []),
        report=report,
    )
    if module._diff:
        diff = report.get('diff', {})
        where = p['machine'] or 'the machine'
        result['diff'] = dict(before=diff.get('before', ''), after=diff.get('after', ''),
                              before_header='%s %s' % (where, p['fourcc']),
                              after_header='%s %s' % (where, p['fourcc']))
    module.exit_json(**result)


if __name__ == '__main__':
    main()
