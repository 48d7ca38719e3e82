tag
