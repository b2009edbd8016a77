#Formatver	3
#Hclass	mload1
#DParam 
	jm`i	0.001
	b`r	0.0001
	drive`u`e	12
	drive`ra`r	1
	drive`la`i	0.01
	drive`km`r	0.05
#DIncond
	jc`p[2].e_indep_state	0
	drive`ja`p[3].e_indep_state	0
