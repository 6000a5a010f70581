// Checks every line of the given files against pzl-host's JSON schema with a real
// JSON Schema validator; prints each line that fails and why.
//   node validate-json-lines.mjs SCHEMA FILE...
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

const [schemaFile, ...files] = process.argv.slice(2);
const require = createRequire(import.meta.url);
let Ajv2020;
try {
  Ajv2020 = require("ajv/dist/2020").default;
} catch (error) {
  if (error.code !== "MODULE_NOT_FOUND") throw error;
  console.log("SKIP: ajv is not installed (scripts/setup-deps runs npm ci in tests/host/web)");
  process.exit(77);
}

const ajv = new Ajv2020({ allErrors: true, strict: true, allowUnionTypes: true });
const validate = ajv.compile(JSON.parse(readFileSync(schemaFile, "utf8")));
let lines = 0;
let failed = 0;
for (const file of files) {
  const text = readFileSync(file, "utf8");
  text.split("\n").forEach((line, index) => {
    if (line === "") return;
    ++lines;
    let value;
    try {
      value = JSON.parse(line);
    } catch (error) {
      ++failed;
      console.log(`${file}:${index + 1}: not JSON: ${error.message}`);
      return;
    }
    if (!validate(value)) {
      ++failed;
      console.log(`${file}:${index + 1}: ${ajv.errorsText(validate.errors)}: ${line.slice(0, 300)}`);
    }
  });
}
console.log(`${lines} lines, ${failed} failed`);
process.exit(failed === 0 && lines > 0 ? 0 : 1);
