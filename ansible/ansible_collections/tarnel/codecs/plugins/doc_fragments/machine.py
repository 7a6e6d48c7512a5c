# -*- coding: utf-8 -*-
# The options every module of the collection takes: which machine tarnelctl
# works on, and which tarnelctl.
from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  machine:
    description:
      - The machine folder or Wine prefix on the host (tarnelctl's C(--machine)).
      - Without it tarnelctl chooses as it always does on the host, from C($TARNEL_MACHINE),
        then C($WINEPREFIX), then the user's default machine folder.
    type: path
  backend:
    description:
      - Which backend serves the machine (tarnelctl's C(--backend)); C(wine) for a live Wine prefix,
        served by Wine itself.
      - Without it tarnelctl chooses by its own rules.
    type: str
    choices: [machine, wine]
  view:
    description:
      - The view of a 64-bit Wine prefix to work on (tarnelctl's C(--view)).
      - A view the machine does not have is an error naming why.
    type: int
    choices: [32, 64]
  wait:
    description:
      - How many seconds tarnelctl waits for another program that works on the machine
        (tarnelctl's C(--wait)); 60 unless given.
    type: float
  tarnelctl:
    description:
      - The path of tarnelctl on the host; by default the one found on the host's C(PATH).
    type: path
requirements:
  - tarnelctl on the host (Tarnel's command-line companion)
notes:
  - The modules run tarnelctl on the host and read its JSON. An error of tarnelctl fails the task with
    tarnelctl's own message (in C(msg)), its exit status (C(rc)) and its output (C(stdout), C(stderr)).
'''
