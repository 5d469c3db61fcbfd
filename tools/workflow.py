"""Reads the CI workflow as GitHub Actions reads it, so that what runs here is the workflow's own
lines: a job's matrix entries (include semantics and all), its `env:` and each step's `if:` with
their `${{ }}` expressions evaluated, and the `run:` text with its expressions substituted.

As a program, `workflow.py linux-job WORKFLOW FOLDER` writes the linux job for tools/ci-job.sh:
FOLDER/container holds the container's image, then its options, one a line as --name=value, and FOLDER/steps one step a
line: NUMBER, KIND (run, checkout, setup-java or upload), WHEN (always, or on-success: not after
a failed step) and what the kind needs, separated by tabs; each run step's script is FOLDER/NUMBER.sh.
"""
import itertools
import os
import re
import sys

import yaml

WORKFLOW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".github", "workflows", "ci.yml")
TOKEN = re.compile(r"\s*(?:('(?:[^']|'')*')|(\d+(?:\.\d+)?)|([A-Za-z_][\w.-]*)|(==|!=|&&|\|\||[!()]))")


def load(path=WORKFLOW):
    with open(path, encoding="utf-8") as text:
        return yaml.safe_load(text)


class Expression:
    """One `${{ }}` expression: literals, context values (matrix.X, env.X), ==, !=, !, &&, ||,
    parentheses, and the status functions. Strings compare ignoring case, as GitHub's do; `&&`
    and `||` give one of their operands."""

    def __init__(self, text, context, status="success"):
        self.tokens, self.at, self.context, self.status = [], 0, context, status
        position = 0
        while position < len(text.rstrip()):
            match = TOKEN.match(text, position)
            if not match:
                raise ValueError(f"cannot read the expression {text!r} at {text[position:]!r}")
            self.tokens.append(match.groups())
            position = match.end()

    def value(self):
        result = self.either()
        if self.at != len(self.tokens):
            raise ValueError(f"unexpected {self.tokens[self.at]} in an expression")
        return result

    def peek(self, operator):
        return self.at < len(self.tokens) and self.tokens[self.at][3] == operator

    def take(self, operator):
        if not self.peek(operator):
            raise ValueError(f"expected {operator} in an expression")
        self.at += 1

    def chain(self, operator, operand, combine):
        """Operands joined by `operator`, left to right."""
        left = operand()
        while self.peek(operator):
            self.at += 1
            left = combine(left, operand())
        return left

    def either(self):
        return self.chain("||", self.both, lambda left, right: left if truthy(left) else right)

    def both(self):
        return self.chain("&&", self.comparison, lambda left, right: right if truthy(left) else left)

    def comparison(self):
        left = self.unary()
        while self.peek("==") or self.peek("!="):
            equal = self.tokens[self.at][3] == "=="
            self.at += 1
            same = loose(left) == loose(self.unary())
            left = same if equal else not same
        return left

    def unary(self):
        if self.peek("!"):
            self.at += 1
            return not truthy(self.unary())
        if self.peek("("):
            self.at += 1
            inner = self.either()
            self.take(")")
            return inner
        string, number, name, _ = self.tokens[self.at]
        self.at += 1
        if string is not None:
            return string[1:-1].replace("''", "'")
        if number is not None:
            return float(number) if "." in number else int(number)
        if self.peek("("):
            self.take("(")
            self.take(")")
            return {"success": self.status == "success", "failure": self.status == "failure",
                    "always": True, "cancelled": False}[name]
        if name in ("true", "false", "null"):
            return {"true": True, "false": False, "null": None}[name]
        value = self.context
        for part in name.split("."):
            value = value.get(part) if isinstance(value, dict) else None
        return value


def truthy(value):
    return value not in (None, False, 0, "")


def loose(value):
    return value.lower() if isinstance(value, str) else "" if value is None else str(value)


def evaluate(text, context, status="success"):
    """`text` with each `${{ }}` replaced by its value; a text that is one expression gives the value itself."""
    if not isinstance(text, str):
        return text
    whole = re.fullmatch(r"\s*\$\{\{(.*?)\}\}\s*", text, re.S)
    if whole:
        return Expression(whole.group(1), context, status).value()
    return re.sub(r"\$\{\{(.*?)\}\}", lambda m: shown(Expression(m.group(1), context, status).value()), text)


def shown(value):
    return "" if value is None else str(value).lower() if isinstance(value, bool) else str(value)


def matrix_entries(job):
    """The job's matrix entries in GitHub's order: the product of its lists, then each `include`
    merged into every entry whose original values it matches, or added as an entry of its own."""
    matrix = job.get("strategy", {}).get("matrix", {})
    if not matrix:
        return [{}]
    keys = [key for key in matrix if key not in ("include", "exclude")]
    entries = [dict(zip(keys, values)) for values in itertools.product(*(matrix[key] for key in keys))]
    entries = [entry for entry in entries if not any(all(entry.get(k) == v for k, v in excluded.items())
                                                      for excluded in matrix.get("exclude", []))]
    originals = [dict(entry) for entry in entries]
    for include in matrix.get("include", []):
        matched = False
        for entry, original in zip(entries, originals):
            if all(original[key] == value for key, value in include.items() if key in original):
                entry.update({key: value for key, value in include.items() if key not in original})
                matched = True
        if not matched:
            entries.append(dict(include))
    return entries


def job_env(job, matrix):
    context = {"matrix": matrix, "env": {}}
    return {name: shown(evaluate(value, context)) for name, value in job.get("env", {}).items()}


def runs(step, job, matrix, env, status="success"):
    """Whether the step runs after the job's steps so far ended in `status`: by its `if:`, which
    without a status function holds only after success, as GitHub adds success() to it."""
    condition = str(step.get("if", "success()"))
    if "${{" not in condition:
        condition = "${{ " + condition + " }}"
    if not re.search(r"\b(success|failure|always|cancelled)\(\)", condition) and status != "success":
        return False
    return truthy(evaluate(condition, {"matrix": matrix, "env": env}, status))


def run_text(step, matrix, env):
    return evaluate(step["run"], {"matrix": matrix, "env": env})


def linux_job(workflow_path, folder):
    job = load(workflow_path)["jobs"]["linux"]
    container = job["container"]
    container = container if isinstance(container, dict) else {"image": container}
    with open(os.path.join(folder, "container"), "w") as out:
        out.write(container["image"] + "\n")
        # Each option as --name=value, as Docker takes either form.
        words = str(container.get("options", "")).split()
        for at, word in enumerate(words):
            if word.startswith("--") and "=" not in word and at + 1 < len(words) and not words[at + 1].startswith("-"):
                out.write(f"{word}={words[at + 1]}\n")
            elif word.startswith("-"):
                out.write(word + "\n")
    shell = job.get("defaults", {}).get("run", {}).get("shell", "bash")
    lines = []
    for number, step in enumerate(job["steps"], 1):
        after_failure = "always" if runs(step, job, {}, {}, "failure") else "on-success"
        uses = step.get("uses", "").split("@")[0]
        inputs = step.get("with", {})
        if "run" in step:
            if step.get("shell", shell) != "bash":
                raise SystemExit(f"step {number}: only bash steps can run here")
            with open(os.path.join(folder, f"{number}.sh"), "w") as script:
                script.write(run_text(step, {}, {}) + "\n")
            lines.append([number, "run", after_failure, step.get("name", step["run"].splitlines()[0])])
        elif uses == "actions/checkout":
            lines.append([number, "checkout", after_failure, uses])
        elif uses == "actions/setup-java":
            lines.append([number, "setup-java", after_failure, inputs["distribution"], inputs["java-version"],
                          str(inputs.get("set-default", True)).lower()])
        elif uses == "actions/upload-artifact":
            lines.append([number, "upload", after_failure, inputs["name"], inputs["path"],
                          inputs.get("if-no-files-found", "warn")])
        else:
            raise SystemExit(f"step {number}: {uses} cannot be run here")
    with open(os.path.join(folder, "steps"), "w") as out:
        for line in lines:
            out.write("\t".join(str(field) for field in line) + "\n")


if __name__ == "__main__":
    if sys.argv[1:2] == ["linux-job"]:
        linux_job(*sys.argv[2:])
    else:
        raise SystemExit("usage: workflow.py linux-job WORKFLOW FOLDER")
