#!/usr/bin/python
# -*- coding: utf-8 -*-
# A machine's codec lists as facts, through tarnelctl list.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: codec_facts
short_description: The video codec lists of a Windows machine or Wine prefix as facts
description:
  - Reads the active and inactive codec lists of the machine with C(tarnelctl list --json) on the host
    and returns them as the fact C(tarnel_codecs). Nothing is written.
  - With I(csv), also the lists as CSV (C(tarnelctl list --csv)) in the fact C(tarnel_codecs_csv); with
    I(machine_name), each of its rows leads with that name, so that the tables of many hosts make one
    table (see EXAMPLES).
version_added: 1.0.0
author: Halvorin
options:
  machine_name:
    description:
      - A name for the machine (usually C(inventory_hostname)), put in the fact as C(machine) and at the
        head of each CSV row (tarnelctl's C(--machine-name)).
    type: str
  csv:
    description:
      - Also return the lists as CSV in C(tarnel_codecs_csv).
    type: bool
    default: false
extends_documentation_fragment:
  - tarnel.codecs.machine
attributes:
  check_mode:
    support: full
    description: Only reads, in check mode as otherwise.
  diff_mode:
    support: none
  facts:
    support: full
    description: Sets C(tarnel_codecs) and, with I(csv), C(tarnel_codecs_csv).
seealso:
  - module: tarnel.codecs.codec
'''

EXAMPLES = r'''
- name: The codec lists of every capture station
  tarnel.codecs.codec_facts:

- name: Every host without its mjpg codec in service
  ansible.builtin.debug:
    msg: "{{ inventory_hostname }} decodes mjpg with nothing"
  when: tarnel_codecs.active | selectattr('fourcc', 'equalto', 'mjpg') | list | length == 0

# One CSV table of the whole fleet's codecs on the controller: the first
# host's table, then each other host's without its header line.
- name: The lists of each host with its name
  tarnel.codecs.codec_facts:
    machine_name: "{{ inventory_hostname }}"
    csv: true

- name: The fleet's table
  ansible.builtin.copy:
    dest: ./fleet-codecs.csv
    content: "{% for host in ansible_play_hosts %}{{ hostvars[host].tarnel_codecs_csv if loop.first
      else hostvars[host].tarnel_codecs_csv.partition('\n')[2] }}{% endfor %}"
  delegate_to: localhost
  run_once: true
'''

RETURN = r'''
ansible_facts:
  description: The facts.
  returned: always
  type: complex
  contains:
    tarnel_codecs:
      description:
        - The document of C(tarnelctl list --json) - C(store) (C(registry), C(profile) or C(none)), C(os)
          (description, platform_id, major, minor, build, csd), C(active) and C(inactive) (rows with
          C(fourcc), C(driver), C(shortname), C(description), C(version), C(type); inactive rows lead with
          C(number)), and C(machine) when I(machine_name) is given.
      returned: always
      type: dict
      sample: {"store": "registry", "os": {"description": "Windows XP Professional", "platform_id": 2,
               "major": 5, "minor": 1, "build": 2600, "csd": "Service Pack 3"},
               "active": [{"fourcc": "mjpg", "driver": "lcmjpeg.dll", "shortname": "LC Motion JPEG",
                           "description": "Lumacraft Motion JPEG Codec", "version": "2.4.0.118", "type": "32"}],
               "inactive": []}
    tarnel_codecs_csv:
      description:
        - The lists as RFC 4180 CSV (CRLF line ends) under the header
          C(machine,list,number,fourcc,driver,shortname,description,version,type,store,shadowed_by)
          (without C(machine) when I(machine_name) is not given; without C(store) and C(shadowed_by) too
          unless the machine is a Wine prefix).
      returned: when I(csv) is true
      type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.tarnel.codecs.plugins.module_utils.tarnelctl import argument_spec, command, run, run_json


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(
            machine_name=dict(type='str'),
            csv=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    p = module.params
    name = ['--machine-name', p['machine_name']] if p['machine_name'] is not None else []
    # The document as tarnelctl prints it: fields it gains arrive as they are.
    facts = dict(tarnel_codecs=run_json(module, command(module, 'list', '--json', *name)))
    if p['csv']:
        facts['tarnel_codecs_csv'] = run(module, command(module, 'list', '--csv', *name))
    module.exit_json(changed=False, ansible_facts=facts)


if __name__ == '__main__':
    main()
