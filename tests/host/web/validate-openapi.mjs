// Checks pzl-host describe --openapi of every plugin given with a real OpenAPI 3.1
// validator, and that the document names each function that describe lists.
//   node validate-openapi.mjs PZL_HOST PLUGIN...
import { execFileSync } from "node:child_process";

const [pzlHost, ...plugins] = process.argv.slice(2);
let Validator;
try {
  // An ES module: import() loads it on every Node version Debian ships (require() of
  // an ES module needs Node 20.17 or later).
  ({ Validator } = await import("@seriousme/openapi-schema-validator"));
} catch (error) {
  if (error.code !== "ERR_MODULE_NOT_FOUND") throw error;
  console.log("SKIP: the validator is not installed (scripts/setup-deps runs npm ci in tests/host/web)");
  process.exit(77);
}

let failed = 0;
for (const plugin of plugins) {
  const text = execFileSync(pzlHost, ["describe", "--openapi", plugin], { encoding: "utf8" });
  const document = JSON.parse(text);
  const validator = new Validator();
  const result = await validator.validate(document);
  const described = JSON.parse(execFileSync(pzlHost, ["describe", "--json", plugin], { encoding: "utf8" }));
  const operations = new Set();
  for (const item of Object.values(document.paths)) {
    for (const [method, operation] of Object.entries(item)) {
      if (!method.startsWith("x-")) operations.add(operation.operationId);
    }
  }
  const missing = described.functions.map((f) => f.name).filter((name) => !operations.has(name));
  if (!result.valid || missing.length > 0) {
    failed++;
    console.log(`FAIL ${plugin}`);
    if (!result.valid) console.log(JSON.stringify(result.errors, null, 2));
    if (missing.length > 0) console.log(`functions missing from the document: ${missing.join(", ")}`);
  } else {
    console.log(`PASS ${plugin}: OpenAPI ${document.openapi}, ${operations.size} operations, ` +
                `${Object.keys(document.components.schemas).length} schemas`);
  }
}
console.log(`${plugins.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
