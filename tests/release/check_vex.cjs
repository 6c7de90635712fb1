// node check_vex.cjs BOM.json
// The bill of materials' VEX against Debian's changelogs: every CVE and
// advisory that the changelog of an installed binary package of a linked
// library's Debian source lists (bookworm-security's revision, installed by
// scripts/install-deps.sh) must have an entry for that library. Exit 1 with
// the missing ones; the entries not resolved or not affected are listed.
'use strict'
const fs = require('fs')
const zlib = require('zlib')
const { execFileSync } = require('child_process')

const [path] = process.argv.slice(2)
if (!path) {
  console.error('usage: node check_vex.cjs BOM.json')
  process.exit(2)
}
const bom = JSON.parse(fs.readFileSync(path, 'utf8'))
const installed = execFileSync('dpkg-query', ['-W', '-f=${source:Package} ${Package}\\n'], { encoding: 'utf8' })
  .trim().split('\n').map((line) => line.split(' '))
const entries = new Map()  // component ref -> its ids
for (const v of bom.vulnerabilities || []) {
  for (const a of v.affects) {
    if (!entries.has(a.ref)) entries.set(a.ref, new Map())
    entries.get(a.ref).set(v.id, v.analysis.state)
  }
}
let missing = 0
let open = 0
let checked = 0
for (const component of bom.components) {
  const source = (component.properties || []).find((p) => p.name === 'debian:source-package')
  if (!source) continue
  const ids = new Set()
  for (const [, binary] of installed.filter(([s]) => s === source.value)) {
    const changelog = `/usr/share/doc/${binary}/changelog.Debian.gz`
    if (!fs.existsSync(changelog)) continue
    const text = zlib.gunzipSync(fs.readFileSync(changelog)).toString('utf8')
    for (const id of text.match(/CVE-\d{4}-\d+|GHSA(-[a-z0-9]{4}){3}/g) || []) ids.add(id)
  }
  const known = entries.get(component['bom-ref']) || new Map()
  for (const id of [...ids].sort()) {
    checked++
    if (!known.has(id)) {
      console.error(`${component.name}: ${id} is in Debian's changelog of ${source.value} but not in the VEX`)
      missing++
    } else if (!['resolved', 'not_affected'].includes(known.get(id))) {
      console.log(`${component.name}: ${id} is ${known.get(id)}`)
      open++
    }
  }
}
console.log(`${path}: ${checked} CVEs and advisories of the libraries' Debian changelogs, ` +
  `${missing} missing from the VEX, ${open} neither resolved nor not affected`)
process.exit(missing === 0 ? 0 : 1)
