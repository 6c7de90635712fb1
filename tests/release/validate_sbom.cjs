// node validate_sbom.cjs BOM.json
// Validates a CycloneDX 1.5 JSON bill of materials against the schema the
// CycloneDX project publishes (shipped in its JavaScript library), strictly:
// no property the schema does not define. Exit 1 with the errors otherwise.
'use strict'
const fs = require('fs')
const { Validation } = require('@cyclonedx/cyclonedx-library')

const [path] = process.argv.slice(2)
if (!path) {
  console.error('usage: node validate_sbom.cjs BOM.json')
  process.exit(2)
}
// The schema version to hold the document to: CycloneDX 1.5.
const validator = new Validation.JsonStrictValidator('1.5')
validator.validate(fs.readFileSync(path, 'utf8')).then(
  (errors) => {
    if (errors === null) {
      console.log(`${path}: valid CycloneDX 1.5`)
    } else {
      console.error(`${path}: not valid CycloneDX 1.5:\n${JSON.stringify(errors, null, 2)}`)
      process.exit(1)
    }
  },
  (error) => {
    console.error(`${path}: cannot validate: ${error}`)
    process.exit(1)
  })
